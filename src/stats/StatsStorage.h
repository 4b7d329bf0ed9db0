#pragma once

#include <string>
#include <string_view>

namespace backbeacon {

// Where the statistics store keeps its bytes. The store decides what they mean;
// the storage only reads and replaces them.
class StatsStorage {
public:
    struct Loaded {
        enum class Outcome {
            missing,    // no file: nothing to keep
            read,       // `bytes` holds the whole file
            unreadable, // a file is there but could not be read
        };
        Outcome outcome = Outcome::missing;
        std::string bytes;
    };

    virtual ~StatsStorage() = default;

    virtual Loaded load() = 0;

    // Replaces the file with `bytes` atomically: afterwards it holds either the
    // old bytes or the new ones, never a mix, whatever happens in between. With
    // `keepCurrentAside`, the file being replaced is kept beside it as an
    // unreadable copy (replacing an older copy) instead of being discarded.
    // False when anything went wrong; the old file is then still in place.
    virtual bool replace(std::string_view bytes, bool keepCurrentAside) = 0;
};

} // namespace backbeacon

#pragma once

#include "stats/StatsStorage.h"

#include <string>
#include <utility>
#include <vector>

namespace backbeacon::testing {

// Keeps "the file" in memory and remembers every replacement.
class FakeStatsStorage final : public StatsStorage {
public:
    struct Write {
        std::string bytes;
        bool keepCurrentAside;
    };

    FakeStatsStorage() = default;
    explicit FakeStatsStorage(Loaded stored) : loaded(std::move(stored)) {}

    Loaded loaded;           // what load() hands out
    bool failWrites = false; // replace() fails, keeping `file`
    std::string file;        // content after the last successful write
    std::string keptAside;   // the copy kept beside it
    std::vector<Write> attempts;

    Loaded load() override { return loaded; }

    bool replace(std::string_view bytes, bool keepCurrentAside) override {
        attempts.push_back({std::string(bytes), keepCurrentAside});
        if (failWrites) {
            return false;
        }
        if (keepCurrentAside) {
            keptAside = file;
        }
        file = bytes;
        return true;
    }
    std::size_t writes() const { return attempts.size(); }
};

} // namespace backbeacon::testing

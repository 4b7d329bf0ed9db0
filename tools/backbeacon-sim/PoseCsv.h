#pragma once

#include "backbeacon-sim/PoseTrack.h"

#include <optional>
#include <string>
#include <string_view>

namespace backbeacon::sim {

// Larger files are refused rather than read into memory; an hour at 1 kHz
// fits many times over.
inline constexpr std::size_t kMaxCsvBytes = 64u << 20;
// Rows further apart than this (about 115 days) are taken for a mistake.
inline constexpr double kMaxCsvSpanSeconds = 1e7;

struct CsvError {
    int line = 0; // 1-based; 0 when the fault is the file as a whole
    std::string message;

    // "FILE:LINE: message", or "FILE: message" for the file as a whole.
    std::string describe(std::string_view fileName) const;
};

struct CsvResult {
    std::optional<PoseTrack> track; // set exactly when there is no error
    CsvError error;
};

// Rows of `seconds,pitch_degrees,roll_degrees` in opentrack's degrees and
// signs. Blank lines and `#` comments are skipped, and the first row may be a
// header of three names. Times count from the first row and must be finite and
// non-decreasing; angles must be within half a turn. Any bad line fails the
// whole text, so a half-read file is never played.
CsvResult parsePoseCsv(std::string_view text);

// The same for the file at `path`; a file that cannot be read or is larger
// than kMaxCsvBytes is an error of the whole file.
CsvResult loadPoseCsv(const std::string& path);

} // namespace backbeacon::sim

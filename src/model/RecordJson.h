#pragma once

#include "DailyStats.h"
#include "Diagnostics.h"
#include "PosturePoint.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The stored JSON form of the records: compact, keys in field order, dates as
// seconds since 2001-01-01T00:00:00Z. Decoding is all or nothing: every key must
// be there with the right kind of value (integers as JSON integers within the
// 64-bit range, floats finite); extra keys are ignored. Encoding fails as a
// whole when a float is not finite. Nothing here throws.
namespace backbeacon::json {

std::optional<std::string> encode(const PosturePoint& point);
std::optional<std::string> encode(const DailyStats& day);
std::optional<std::string> encode(const Diagnostics& counters);
std::optional<std::string> encode(std::span<const DailyStats> days);

std::optional<PosturePoint> decodePosturePoint(std::string_view text);
std::optional<DailyStats> decodeDailyStats(std::string_view text);
std::optional<Diagnostics> decodeDiagnostics(std::string_view text);
// The statistics file: a JSON array of day records. One bad record fails the lot.
std::optional<std::vector<DailyStats>> decodeDailyStatsArray(std::string_view text);

} // namespace backbeacon::json

#include "RecordJson.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <limits>

namespace backbeacon::json {

namespace {

using Json = nlohmann::ordered_json;

// Encoding

bool allFinite(std::initializer_list<double> values) {
    for (double v : values) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    return true;
}

Json toJson(const PosturePoint& p) {
    Json object = Json::object();
    object["pitch"] = p.pitch();
    object["roll"] = p.roll();
    object["capturedAt"] = p.capturedAt().referenceSeconds();
    return object;
}

Json toJson(const DailyStats& d) {
    Json object = Json::object();
    object["date"] = d.date.referenceSeconds();
    object["monitoredSeconds"] = d.monitoredSeconds;
    object["slouchedSeconds"] = d.slouchedSeconds;
    object["slouches"] = d.slouches;
    object["fixes"] = d.fixes;
    return object;
}

bool encodable(const DailyStats& d) {
    return allFinite({d.date.referenceSeconds(), d.monitoredSeconds, d.slouchedSeconds});
}

std::string dump(const Json& value) {
    // Strings in our records are never built from outside text, but replacing
    // rather than throwing keeps the no-throw promise unconditional.
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Decoding

Json parse(std::string_view text) {
    return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
}

std::optional<double> floatField(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return std::nullopt;
    }
    const double value = it->get<double>();
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> integerField(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(value);
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    return std::nullopt; // floats such as 2.5 or 3.6e72, strings, null, ...
}

std::optional<PosturePoint> posturePointFrom(const Json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto pitch = floatField(object, "pitch");
    const auto roll = floatField(object, "roll");
    const auto capturedAt = floatField(object, "capturedAt");
    if (!pitch || !roll || !capturedAt) {
        return std::nullopt;
    }
    return PosturePoint(*pitch, *roll, Instant::fromReferenceSeconds(*capturedAt));
}

std::optional<DailyStats> dailyStatsFrom(const Json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto date = floatField(object, "date");
    const auto monitored = floatField(object, "monitoredSeconds");
    const auto slouched = floatField(object, "slouchedSeconds");
    const auto slouches = integerField(object, "slouches");
    const auto fixes = integerField(object, "fixes");
    if (!date || !monitored || !slouched || !slouches || !fixes) {
        return std::nullopt;
    }
    return DailyStats{Instant::fromReferenceSeconds(*date), *monitored, *slouched, *slouches,
                      *fixes};
}

std::optional<Diagnostics> diagnosticsFrom(const Json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto launches = integerField(object, "launches");
    const auto calibrations = integerField(object, "calibrations");
    const auto alertsSent = integerField(object, "alertsSent");
    const auto disconnects = integerField(object, "disconnects");
    const auto unexpectedQuits = integerField(object, "unexpectedQuits");
    if (!launches || !calibrations || !alertsSent || !disconnects || !unexpectedQuits) {
        return std::nullopt;
    }
    return Diagnostics{*launches, *calibrations, *alertsSent, *disconnects, *unexpectedQuits};
}

} // namespace

std::optional<std::string> encode(const PosturePoint& point) {
    if (!allFinite({point.pitch(), point.roll(), point.capturedAt().referenceSeconds()})) {
        return std::nullopt;
    }
    return dump(toJson(point));
}

std::optional<std::string> encode(const DailyStats& day) {
    if (!encodable(day)) {
        return std::nullopt;
    }
    return dump(toJson(day));
}

std::optional<std::string> encode(const Diagnostics& c) {
    Json object = Json::object();
    object["launches"] = c.launches;
    object["calibrations"] = c.calibrations;
    object["alertsSent"] = c.alertsSent;
    object["disconnects"] = c.disconnects;
    object["unexpectedQuits"] = c.unexpectedQuits;
    return dump(object);
}

std::optional<std::string> encode(std::span<const DailyStats> days) {
    Json array = Json::array();
    for (const DailyStats& day : days) {
        if (!encodable(day)) {
            return std::nullopt;
        }
        array.push_back(toJson(day));
    }
    return dump(array);
}

std::optional<PosturePoint> decodePosturePoint(std::string_view text) {
    return posturePointFrom(parse(text));
}

std::optional<DailyStats> decodeDailyStats(std::string_view text) {
    return dailyStatsFrom(parse(text));
}

std::optional<Diagnostics> decodeDiagnostics(std::string_view text) {
    return diagnosticsFrom(parse(text));
}

std::optional<std::vector<DailyStats>> decodeDailyStatsArray(std::string_view text) {
    const Json array = parse(text);
    if (!array.is_array()) {
        return std::nullopt;
    }
    std::vector<DailyStats> days;
    days.reserve(array.size());
    for (const Json& element : array) {
        auto day = dailyStatsFrom(element);
        if (!day) {
            return std::nullopt;
        }
        days.push_back(*day);
    }
    return days;
}

} // namespace backbeacon::json

#include "backbeacon-sim/PoseCsv.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace backbeacon::sim {

namespace {

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// A field as it may be shown back in an error: printable ASCII, cut short.
std::string shown(std::string_view field) {
    constexpr std::size_t kMax = 32;
    std::string out;
    for (const char c : field.substr(0, kMax)) {
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    if (field.size() > kMax) {
        out += "...";
    }
    return out;
}

std::optional<double> number(std::string_view field) {
    if (field.size() > 1 && field.front() == '+' && field[1] != '-') {
        field.remove_prefix(1);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || end != field.data() + field.size()) {
        return std::nullopt;
    }
    return value;
}

CsvResult failure(int line, std::string message) {
    return {std::nullopt, {line, std::move(message)}};
}

} // namespace

std::string CsvError::describe(std::string_view fileName) const {
    std::string out(fileName);
    if (line > 0) {
        out += ':' + std::to_string(line);
    }
    return out + ": " + message;
}

CsvResult parsePoseCsv(std::string_view text) {
    std::vector<Keyframe> keyframes;
    double origin = 0;
    bool headerAllowed = true;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);

        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        std::array<std::string_view, 3> fields;
        std::size_t count = 0;
        for (std::size_t start = 0;; ++count) {
            const std::size_t comma = line.find(',', start);
            if (count < fields.size()) {
                fields[count] = trimmed(line.substr(start, comma - start));
            }
            if (comma == std::string_view::npos) {
                ++count;
                break;
            }
            start = comma + 1;
        }
        if (count != fields.size()) {
            return failure(lineNumber, "expected 3 comma-separated fields "
                                       "(seconds,pitch_degrees,roll_degrees), found " +
                                           std::to_string(count));
        }
        std::array<std::optional<double>, 3> values;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            values[i] = number(fields[i]);
        }
        const auto isName = [](std::string_view field) {
            const char c = field.empty() ? '\0' : field.front();
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        };
        const bool header = !values[0] && !values[1] && !values[2] && isName(fields[0]) &&
                            isName(fields[1]) && isName(fields[2]);
        if (headerAllowed && header) {
            headerAllowed = false;
            continue;
        }
        headerAllowed = false;
        static constexpr const char* kNames[] = {"seconds", "pitch_degrees", "roll_degrees"};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (!values[i] || !std::isfinite(*values[i])) {
                return failure(lineNumber, std::string(kNames[i]) + " \"" + shown(fields[i]) +
                                               "\" is not a finite number");
            }
        }
        const double seconds = *values[0];
        const OpentrackPose pose{*values[1], *values[2]};
        if (std::fabs(pose.pitchDegrees) > kMaxPoseDegrees ||
            std::fabs(pose.rollDegrees) > kMaxPoseDegrees) {
            return failure(lineNumber, "pitch and roll must be within -180 to 180 degrees");
        }
        if (keyframes.empty()) {
            origin = seconds;
        }
        const double since = seconds - origin;
        if (!keyframes.empty() && since < keyframes.back().seconds) {
            return failure(lineNumber, "time goes backwards");
        }
        if (since > kMaxCsvSpanSeconds) {
            return failure(lineNumber, "more than 10000000 seconds after the first row");
        }
        keyframes.push_back({since, pose});
    }
    if (keyframes.empty()) {
        return failure(0, "no rows of seconds,pitch_degrees,roll_degrees");
    }
    return {PoseTrack(std::move(keyframes)), {}};
}

CsvResult loadPoseCsv(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) {
        return failure(0, std::string("cannot open: ") + std::strerror(errno));
    }
    std::string text;
    std::array<char, 65536> chunk;
    while (text.size() <= kMaxCsvBytes) {
        const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
        text.append(chunk.data(), n);
        if (n < chunk.size()) {
            break;
        }
    }
    if (std::ferror(file.get())) {
        return failure(0, std::string("cannot read: ") + std::strerror(errno));
    }
    if (text.size() > kMaxCsvBytes) {
        return failure(0, "larger than 64 MiB");
    }
    return parsePoseCsv(text);
}

} // namespace backbeacon::sim

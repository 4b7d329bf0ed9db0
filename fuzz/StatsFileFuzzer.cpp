// Feeds arbitrary bytes to the statistics file decoder; a file that loads must
// save and load again unchanged.
#include "model/RecordJson.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace backbeacon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto days = json::decodeDailyStatsArray(text);
    if (!days) {
        return 0;
    }
    const auto encoded = json::encode(std::span<const DailyStats>(*days));
    if (!encoded || json::decodeDailyStatsArray(*encoded) != days) {
        std::abort();
    }
    for (const DailyStats& day : *days) {
        (void)day.score();
    }
    return 0;
}

// Feeds arbitrary bytes to the three record decoders. Whatever decodes must
// encode again and come back equal: a record that loads but cannot be saved
// would be lost at the next write.
#include "model/RecordJson.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace backbeacon;

namespace {
template <typename Record, typename Decode> void roundTrip(std::string_view text, Decode decode) {
    const std::optional<Record> record = decode(text);
    if (!record) {
        return;
    }
    const auto encoded = json::encode(*record);
    if (!encoded || decode(*encoded) != record) {
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    roundTrip<PosturePoint>(text, json::decodePosturePoint);
    roundTrip<DailyStats>(text, json::decodeDailyStats);
    roundTrip<Diagnostics>(text, json::decodeDiagnostics);
    return 0;
}

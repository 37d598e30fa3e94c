// The fast kernel against the reference kernel: any block contents, any
// count (including none or negative), any offset, including offsets whose
// block runs past the 32-bit limit, and any settings, not only the file
// flanger's. They must agree bit for bit.
//
// Input layout: one byte of choices, a 32-bit offset, a 16-bit count, three
// 32-bit float settings (used when the choices ask for them), then samples.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "FlangerKernel.h"
#include "FuzzSupport.h"

namespace {

constexpr std::size_t kPrefixBytes = 1 + 4 + 2 + 12;

template <typename T>
T Take(const std::uint8_t*& data) {
    T value{};
    std::memcpy(&value, data, sizeof value);
    data += sizeof value;
    return value;
}

std::int32_t ChooseOffset(std::uint8_t choice, std::uint32_t raw) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    switch (choice & 3) {
        case 0: return static_cast<std::int32_t>(raw);                 // anything, negative too
        case 1: return kMax - static_cast<std::int32_t>(raw % 70000);  // the block crosses 2^31
        case 2: return static_cast<std::int32_t>(raw % 200000);        // where files start
        default:
            return static_cast<std::int32_t>(raw % 16000) +
                   16000 * 134216;  // the last whole periods
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPrefixBytes) {
        return 0;
    }
    const std::uint8_t* cursor = data;
    const auto choices = Take<std::uint8_t>(cursor);
    const std::int32_t offset = ChooseOffset(choices, Take<std::uint32_t>(cursor));
    const auto countChoice = Take<std::int16_t>(cursor);
    float rate = Take<float>(cursor);
    float depth = Take<float>(cursor);
    float maxDelaySeconds = Take<float>(cursor);
    if ((choices & 4) == 0) {
        rate = pendrax::kFlangerRate;
        depth = pendrax::kFlangerDepth;
        maxDelaySeconds = pendrax::kFlangerMaxDelaySeconds;
    }

    std::vector<std::int16_t> fast((size - kPrefixBytes) / 2);
    if (!fast.empty()) {
        std::memcpy(fast.data(), cursor, fast.size() * sizeof fast[0]);
    }
    // The count never exceeds the block; a zero or negative one must leave it alone.
    const std::int32_t count =
        countChoice > 0 && static_cast<std::size_t>(countChoice) > fast.size()
            ? static_cast<std::int32_t>(fast.size())
            : countChoice;
    std::vector<std::int16_t> reference = fast;
    const std::vector<std::int16_t> original = fast;

    pendrax::ApplyFlanger(fast.data(), count, rate, depth, maxDelaySeconds, offset);
    pendrax::ApplyFlangerReference(reference.data(), count, rate, depth, maxDelaySeconds, offset);
    if (fast != reference) {
        pendrax_fuzz::Fail("ApplyFlanger differs from ApplyFlangerReference");
    }
    // Nothing past the count is touched.
    const std::size_t processed = count < 1 ? 0 : static_cast<std::size_t>(count);
    if (!std::equal(fast.begin() + static_cast<std::ptrdiff_t>(processed), fast.end(),
                    original.begin() + static_cast<std::ptrdiff_t>(processed))) {
        pendrax_fuzz::Fail("samples past the count were changed");
    }
    return 0;
}

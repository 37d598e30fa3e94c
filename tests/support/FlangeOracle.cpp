#include "FlangeOracle.h"

#include <algorithm>

#include "Flange.h"
#include "FlangerKernel.h"

namespace pendrax_test {

Bytes ExpectedFlangerOutput(const Bytes& input) {
    constexpr std::size_t kHeader = PENDRAX_WAV_HEADER_BYTES;
    constexpr auto kBlock = static_cast<std::size_t>(pendrax::kFlangerBlockSamples);
    Bytes expected(kHeader, 0);
    std::copy_n(input.begin(), std::min(kHeader, input.size()), expected.begin());
    std::vector<std::int16_t> samples;
    for (std::size_t k = kHeader; k + 1 < input.size(); k += 2) {
        samples.push_back(static_cast<std::int16_t>(input[k] | (input[k + 1] << 8)));
    }
    for (std::size_t start = 0; start < samples.size(); start += kBlock) {
        const auto count = static_cast<std::int32_t>(std::min(kBlock, samples.size() - start));
        pendrax::ApplyFlangerReference(samples.data() + start, count, pendrax::kFlangerRate,
                                       pendrax::kFlangerDepth, pendrax::kFlangerMaxDelaySeconds,
                                       static_cast<std::int32_t>(start));
    }
    AppendSamples(expected, samples);
    return expected;
}

}  // namespace pendrax_test

#include "FlangerKernel.h"

namespace pendrax {

void ApplyFlanger(std::int16_t* samples, std::int32_t count, float rate, float depth,
                  float maxDelaySeconds, std::int32_t sampleOffset) {
    ApplyFlangerReference(samples, count, rate, depth, maxDelaySeconds, sampleOffset);
}

}  // namespace pendrax

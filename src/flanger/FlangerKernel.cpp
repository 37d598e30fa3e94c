// The fast form of the kernel. The delay changes only about once every 230
// samples, so the block is cut into runs of one delay (FlangerSweep) and
// each run is averaged several samples at a time. Within a run sample i
// depends on sample i - delay, so any `delay` consecutive samples (a chunk)
// depend only on samples before them and are done together.
#include <algorithm>
#include <cstring>

#include "FlangerKernel.h"
#include "FlangerSweep.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define PENDRAX_FLANGER_SSE2 1
#endif

namespace pendrax {
namespace {

// Sum of two samples halved with truncation toward zero, as the definition
// has it: an odd negative sum rounds up.
inline std::int16_t Average(std::int16_t a, std::int16_t b) {
    return static_cast<std::int16_t>((std::int32_t{a} + std::int32_t{b}) / 2);
}

// `Width` consecutive samples, without vector instructions; compilers
// vectorise the fixed-length loops where they can.
template <int Width>
struct ScalarLanes {
    std::int16_t value[Width];

    static ScalarLanes Load(const std::int16_t* from) {
        ScalarLanes lanes;
        std::memcpy(lanes.value, from, sizeof lanes.value);
        return lanes;
    }
    void Store(std::int16_t* to) const { std::memcpy(to, value, sizeof value); }
    static ScalarLanes Average(const ScalarLanes& a, const ScalarLanes& b) {
        ScalarLanes lanes{};
        for (int k = 0; k < Width; ++k) {
            lanes.value[k] = pendrax::Average(a.value[k], b.value[k]);
        }
        return lanes;
    }
};

// Averages p[0, length) with p[-delay, length - delay), length <= delay,
// so every partner is final before the chunk starts. Width-wide pieces
// cover the chunk, the last one overlapping its neighbour; that last piece
// is loaded first, before its neighbour's store changes it.
template <template <int> class Lanes, int Width>
void AverageChunk(std::int16_t* p, std::int32_t delay, std::int32_t length) {
    using Piece = Lanes<Width>;
    const std::int32_t last = length - Width;
    const Piece lastSamples = Piece::Load(p + last);
    const Piece lastPartners = Piece::Load(p + last - delay);
    for (std::int32_t offset = 0; offset < last; offset += Width) {
        Piece::Average(Piece::Load(p + offset), Piece::Load(p + offset - delay)).Store(p + offset);
    }
    Piece::Average(lastSamples, lastPartners).Store(p + last);
}

// Averages block samples [begin, end) with the samples `delay` before them,
// chunk by chunk through memory; samples whose partner would lie before the
// block are left as they are.
template <template <int> class Lanes>
void AverageRunByChunks(std::int16_t* samples, std::int32_t begin, std::int32_t end,
                        std::int32_t delay) {
    if (delay < 1) {
        return;  // a sample averaged with itself stays as it is
    }
    for (std::int32_t i = std::max(begin, delay); i < end;) {
        const std::int32_t length = std::min(delay, end - i);
        std::int16_t* p = samples + i;
        if (length >= 8) {
            AverageChunk<Lanes, 8>(p, delay, length);
        } else if (length >= 4) {
            AverageChunk<Lanes, 4>(p, delay, length);
        } else if (length >= 2) {
            AverageChunk<Lanes, 2>(p, delay, length);
        } else {
            p[0] = Average(p[0], p[-delay]);
        }
        i += length;
    }
}

#if defined(PENDRAX_FLANGER_SSE2)
// The truncating average in 16-bit lanes without widening:
// floor((a + b) / 2) = (a & b) + ((a ^ b) >> 1), plus one where the sum is
// odd (low bit of a ^ b) and negative (sign of the saturating sum). The
// sign comes straight from the inputs, which keeps the chain from one
// chunk to the next short.
inline __m128i AverageVector(__m128i a, __m128i b) {
    const __m128i difference = _mm_xor_si128(a, b);
    const __m128i floor = _mm_add_epi16(_mm_and_si128(a, b), _mm_srai_epi16(difference, 1));
    const __m128i negative = _mm_srli_epi16(_mm_adds_epi16(a, b), 15);
    return _mm_add_epi16(floor, _mm_and_si128(negative, difference));
}

inline __m128i Load8(const std::int16_t* from) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
}
inline void Store8(std::int16_t* to, __m128i value) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), value);
}
inline void Store4(std::int16_t* to, __m128i value) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), value);
}
inline void Store2(std::int16_t* to, __m128i value) {
    const std::int32_t bits = _mm_cvtsi128_si32(value);
    std::memcpy(to, &bits, sizeof bits);
}

template <int Width>
struct VectorLanes {
    __m128i value;

    static VectorLanes Load(const std::int16_t* from) {
        if constexpr (Width == 8) {
            return {Load8(from)};
        } else if constexpr (Width == 4) {
            return {_mm_loadl_epi64(reinterpret_cast<const __m128i*>(from))};
        } else {
            std::int32_t bits = 0;
            std::memcpy(&bits, from, sizeof bits);
            return {_mm_cvtsi32_si128(bits)};
        }
    }
    void Store(std::int16_t* to) const {
        if constexpr (Width == 8) {
            Store8(to, value);
        } else if constexpr (Width == 4) {
            Store4(to, value);
        } else {
            Store2(to, value);
        }
    }
    static VectorLanes Average(const VectorLanes& a, const VectorLanes& b) {
        return {AverageVector(a.value, b.value)};
    }
};

// Through memory, each chunk would wait for the previous chunk's stores to
// be forwarded to its loads. The chunk's result is its successor's partners
// lane for lane, so it stays in registers instead.

// Delays below 8: one vector per chunk, whose first `Delay` lanes count.
// Stores exactly those lanes (the rest hold later samples, not yet done).
template <int Delay>
void StoreChunk(std::int16_t* p, __m128i value) {
    if constexpr (Delay == 2) {
        Store2(p, value);
    } else if constexpr (Delay == 3) {
        Store2(p, value);
        Store2(p + 1, _mm_srli_si128(value, 2));
    } else if constexpr (Delay == 4) {
        Store4(p, value);
    } else {
        Store4(p, value);
        Store4(p + Delay - 4, _mm_srli_si128(value, 2 * (Delay - 4)));
    }
}

// Chunks from p on, while a whole vector load stays before `end`; returns
// where it stopped.
template <int Delay>
std::int16_t* ChainShortDelay(std::int16_t* p, const std::int16_t* end) {
    if (end - p < 8) {
        return p;
    }
    __m128i partners = Load8(p - Delay);
    for (; end - p >= 8; p += Delay) {
        partners = AverageVector(Load8(p), partners);
        StoreChunk<Delay>(p, partners);
    }
    return p;
}

// Delays from 8 on: `Pieces` vectors per chunk at 0, 8, ... and delay - 8.
template <int Pieces>
std::int16_t* ChainLongDelay(std::int16_t* p, const std::int16_t* end, std::int32_t delay) {
    // Not one whole chunk: the partners' loads below would reach past `end`
    // (a block shorter than its delay starts beyond its own end).
    if (end - p < delay) {
        return p;
    }
    std::int32_t offsets[Pieces];
    __m128i partners[Pieces];
    for (int k = 0; k < Pieces; ++k) {
        offsets[k] = k + 1 < Pieces ? 8 * k : delay - 8;
        partners[k] = Load8(p - delay + offsets[k]);
    }
    for (; end - p >= delay; p += delay) {
        __m128i samples[Pieces];
        for (int k = 0; k < Pieces; ++k) {
            samples[k] = Load8(p + offsets[k]);  // all loaded before the overlapping stores
        }
        for (int k = 0; k < Pieces; ++k) {
            partners[k] = AverageVector(samples[k], partners[k]);
            Store8(p + offsets[k], partners[k]);
        }
    }
    return p;
}

void AverageRunVector(std::int16_t* samples, std::int32_t begin, std::int32_t end,
                      std::int32_t delay) {
    if (delay < 2) {
        AverageRunByChunks<VectorLanes>(samples, begin, end, delay);
        return;
    }
    std::int16_t* p = samples + std::max(begin, delay);
    const std::int16_t* stop = samples + end;
    switch (delay) {
        case 2: p = ChainShortDelay<2>(p, stop); break;
        case 3: p = ChainShortDelay<3>(p, stop); break;
        case 4: p = ChainShortDelay<4>(p, stop); break;
        case 5: p = ChainShortDelay<5>(p, stop); break;
        case 6: p = ChainShortDelay<6>(p, stop); break;
        case 7: p = ChainShortDelay<7>(p, stop); break;
        default:
            switch ((delay + 7) / 8) {
                case 1: p = ChainLongDelay<1>(p, stop, delay); break;
                case 2: p = ChainLongDelay<2>(p, stop, delay); break;
                case 3: p = ChainLongDelay<3>(p, stop, delay); break;
                case 4: p = ChainLongDelay<4>(p, stop, delay); break;
                case 5: p = ChainLongDelay<5>(p, stop, delay); break;
                default: break;  // longer than the sweep reaches: by chunks below
            }
    }
    // The end of the run, shorter than a chunk or a vector.
    AverageRunByChunks<VectorLanes>(samples, static_cast<std::int32_t>(p - samples), end, delay);
}
#endif

using RunAverager = void (*)(std::int16_t*, std::int32_t, std::int32_t, std::int32_t);

void ApplyFlangerByRuns(RunAverager averageRun, std::int16_t* samples, std::int32_t count,
                        float rate, float depth, float maxDelaySeconds, std::int32_t sampleOffset) {
    if (count < 1) {
        return;
    }
    if (!IsFileFlangerSweep(rate, depth, maxDelaySeconds)) {
        // Only the file flanger's sweep has a table of its delay changes.
        ApplyFlangerReference(samples, count, rate, depth, maxDelaySeconds, sampleOffset);
        return;
    }
    SweepRuns runs(sampleOffset, count);
    DelayRun run{};
    while (runs.Next(run)) {
        averageRun(samples, static_cast<std::int32_t>(run.begin - sampleOffset),
                   static_cast<std::int32_t>(run.end - sampleOffset), run.delay);
    }
}

}  // namespace

void ApplyFlanger(std::int16_t* samples, std::int32_t count, float rate, float depth,
                  float maxDelaySeconds, std::int32_t sampleOffset) {
#if defined(PENDRAX_FLANGER_SSE2)
    ApplyFlangerByRuns(AverageRunVector, samples, count, rate, depth, maxDelaySeconds,
                       sampleOffset);
#else
    ApplyFlangerPortable(samples, count, rate, depth, maxDelaySeconds, sampleOffset);
#endif
}

void ApplyFlangerPortable(std::int16_t* samples, std::int32_t count, float rate, float depth,
                          float maxDelaySeconds, std::int32_t sampleOffset) {
    ApplyFlangerByRuns(AverageRunByChunks<ScalarLanes>, samples, count, rate, depth,
                       maxDelaySeconds, sampleOffset);
}

}  // namespace pendrax

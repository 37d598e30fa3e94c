// The header walk on arbitrary bytes: it stays inside them whatever the
// sizes claim (ASan sees any read past), ends at once (the fuzzer's timeout
// and memory limit see a loop), and what it reports agrees with the bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "WavWalk.h"

namespace {

using pendrax::wav::CheckSizes;
using pendrax::wav::HeaderWalk;

void CheckWalk(const HeaderWalk& walk, const std::uint8_t* data, std::size_t size) {
    if (walk.riffWave != (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 &&
                          std::memcmp(data + 8, "WAVE", 4) == 0)) {
        pendrax_fuzz::Fail("the walk misjudged the RIFF/WAVE magic");
    }
    if (walk.hasData && (walk.samplesAt > size || walk.samplesAt != walk.dataChunkAt + 8 ||
                         std::memcmp(data + walk.dataChunkAt, "data", 4) != 0)) {
        pendrax_fuzz::Fail("the data chunk reported is not in the bytes");
    }
    if (walk.beforeCount > size / 8) {
        pendrax_fuzz::Fail("more chunks than the bytes hold");
    }
    // What the flanger accepts is exactly the canonical layout.
    const bool canonical =
        size >= 44 && walk.riffWave && std::memcmp(data + 12, "fmt ", 4) == 0 &&
        pendrax::wav::Little32(data + 16) == 16 && pendrax::wav::Little16(data + 20) == 1 &&
        pendrax::wav::Little16(data + 22) == 1 && pendrax::wav::Little16(data + 34) == 16 &&
        std::memcmp(data + 36, "data", 4) == 0;
    if (walk.Flangeable() != canonical) {
        pendrax_fuzz::Fail("the verdict disagrees with the canonical layout");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const HeaderWalk walk = pendrax::wav::WalkHeader(data, size);
    CheckWalk(walk, data, size);
    // The claimed sizes against lengths near the bytes and far past them.
    for (const std::uint64_t length :
         {std::uint64_t{size}, std::uint64_t{size} << 20, pendrax::wav::kUnknownLength - 1,
          pendrax::wav::kUnknownLength}) {
        const pendrax::wav::SizeCheck sizes = CheckSizes(walk, length);
        if (sizes.state == pendrax::wav::SizeState::kTrailing &&
            (sizes.trailingAt >= length || sizes.trailingAt < walk.samplesAt)) {
            pendrax_fuzz::Fail("trailing bytes reported outside the file");
        }
        if (pendrax::wav::ReadableBytes(walk, length) > length) {
            pendrax_fuzz::Fail("more readable than written");
        }
    }
    (void)pendrax::wav::WalkTrailer(data, size);
    return 0;
}

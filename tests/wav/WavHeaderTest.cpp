#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "TestSupport.h"
#include "WavHeader.h"
#include "WavWalk.h"

using pendrax_test::Bytes;

namespace {

Bytes HeaderBytes(std::uint32_t blockCount) {
    unsigned char bytes[pendrax::wav::kWavHeaderBytes];
    pendrax::wav::CanonicalHeader(std::uint64_t{blockCount} * pendrax::wav::kBlockBytes, bytes);
    return Bytes(bytes, bytes + sizeof bytes);
}

}  // namespace

TEST(WavHeader, MatchesTheCanonicalLayoutForEveryCount) {
    for (const std::uint32_t blocks : {0u, 1u, 3u, 268435u}) {
        EXPECT_EQ(HeaderBytes(blocks), pendrax_test::CanonicalHeader(blocks * 16000u))
            << blocks << " blocks";
    }
}

TEST(WavHeader, SizesAreLittleEndianWhateverTheHost) {
    const Bytes one = HeaderBytes(1);  // RIFF 16036 = 0x3EA4, data 16000 = 0x3E80
    EXPECT_EQ(Bytes(one.begin() + 4, one.begin() + 8), (Bytes{0xA4, 0x3E, 0x00, 0x00}));
    EXPECT_EQ(Bytes(one.begin() + 40, one.end()), (Bytes{0x80, 0x3E, 0x00, 0x00}));
    // The largest exact sizes: 4294960036 and 4294960000.
    const Bytes last = HeaderBytes(268435);
    EXPECT_EQ(Bytes(last.begin() + 4, last.begin() + 8), (Bytes{0xA4, 0xE3, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(last.begin() + 40, last.end()), (Bytes{0x80, 0xE3, 0xFF, 0xFF}));
}

TEST(WavHeader, TagsAreTheirFourAsciiBytes) {
    const Bytes empty = HeaderBytes(0);
    ASSERT_EQ(empty.size(), 44u);
    EXPECT_EQ(std::memcmp(empty.data() + 0, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(empty.data() + 8, "WAVE", 4), 0);
    EXPECT_EQ(std::memcmp(empty.data() + 12, "fmt ", 4), 0);  // a space, not a terminator
    EXPECT_EQ(std::memcmp(empty.data() + 36, "data", 4), 0);
}

TEST(WavHeader, StreamedAndMendedSizes) {
    unsigned char bytes[44];
    pendrax::wav::StreamedHeader(bytes);
    EXPECT_EQ(Bytes(bytes + 40, bytes + 44), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(bytes + 4, bytes + 8), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    pendrax::wav::SetSizes(bytes, 16000);
    EXPECT_EQ(Bytes(bytes, bytes + 44), pendrax_test::CanonicalHeader(16000));
    // Clamped to the most whole samples 32 bits hold.
    pendrax::wav::CanonicalHeader(std::uint64_t{1} << 40, bytes);
    EXPECT_EQ(Bytes(bytes + 4, bytes + 8), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(bytes + 40, bytes + 44), (Bytes{0xDA, 0xFF, 0xFF, 0xFF}));
}

// The walk: the canonical header, what the flanger would misread, and
// sizes that claim anything.
TEST(WavWalk, JudgesFormatsAndChunksWithinTheBytesGiven) {
    using pendrax::wav::WalkHeader;
    Bytes canonical = pendrax_test::CanonicalHeader(4);
    canonical.resize(48);
    Bytes stereo = canonical;
    stereo[22] = 2;
    Bytes listFirst = {'R', 'I', 'F', 'F', 76,  0,   0,    0,    'W',  'A',
                       'V', 'E', 'L', 'I', 'S', 'T', 0xF8, 0xFF, 0xFF, 0xFF};  // claims 4 GiB
    listFirst.resize(84);
    const Bytes aiff = {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'};
    struct Case {
        const Bytes& bytes;
        unsigned problems;
        std::size_t before;
    };
    for (const Case& c :
         {Case{canonical, 0, 0}, Case{stereo, pendrax::wav::kNotMono, 0},
          Case{listFirst, pendrax::wav::kNoFormat | pendrax::wav::kSamplesNotAt44, 1},
          Case{aiff, pendrax::wav::kNotRiffWave, 0}}) {
        const pendrax::wav::HeaderWalk walk = WalkHeader(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(walk.problems, c.problems) << c.bytes.size();
        EXPECT_EQ(walk.beforeCount, c.before) << c.bytes.size();
    }
    const pendrax::wav::HeaderWalk walk = WalkHeader(canonical.data(), canonical.size());
    EXPECT_EQ(walk.format.sampleRate, 8000u);
    EXPECT_EQ(walk.samplesAt, 44u);
    EXPECT_EQ(walk.dataSize, 4u);
}

TEST(WavWalk, SetsTheClaimedSizesAgainstTheLength) {
    using pendrax::wav::SizeState;
    struct Case {
        std::uint32_t dataSize;
        std::uint64_t length;
        SizeState state;
    };
    for (const Case& c : {Case{4, 48, SizeState::kExact}, Case{0, 48, SizeState::kZero},
                          Case{0xFFFFFFFF, 48, SizeState::kPlaceholder},
                          Case{0x7FFFF000, 48, SizeState::kPlaceholder},
                          Case{400, 48, SizeState::kCutShort}, Case{4, 60, SizeState::kTrailing},
                          Case{4, pendrax::wav::kUnknownLength, SizeState::kUnknownLength}}) {
        Bytes header = pendrax_test::CanonicalHeader(c.dataSize);
        std::fill_n(header.begin() + 4, 4, 0);
        header[4] = 40;  // a RIFF size for 48 bytes
        const auto walk = pendrax::wav::WalkHeader(header.data(), header.size());
        const pendrax::wav::SizeCheck sizes = pendrax::wav::CheckSizes(walk, c.length);
        EXPECT_EQ(sizes.state, c.state) << c.dataSize << " in " << c.length;
        if (c.state == SizeState::kTrailing) {
            EXPECT_EQ(sizes.trailingAt, 48u);
        }
    }
}

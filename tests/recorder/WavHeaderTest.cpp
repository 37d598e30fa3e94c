#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "WavHeader.h"

using pendrax::recorder::Finalise;
using pendrax::recorder::SerialiseWavHeader;
using pendrax::recorder::WavHeader;
using pendrax_test::Bytes;

namespace {

Bytes HeaderBytes(std::uint32_t blockCount) {
    WavHeader header{};
    Finalise(header, blockCount);
    unsigned char bytes[pendrax::recorder::kWavHeaderBytes];
    SerialiseWavHeader(header, bytes);
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

// Flange from a source to a sink, on streams the caller opened, and the
// kernel offset it hands each block.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "Flange.h"
#include "FlangeOracle.h"
#include "Streams.h"
#include "TestSupport.h"

namespace {

using pendrax_test::Bytes;

class FlangeStreams : public ::testing::Test {
protected:
    pendrax_test::TempDir dir;
    std::string in = dir.File("in.wav");
    std::string out = dir.File("out.wav");
};

// On streams the caller opened: each side's failure with the
// system's reason and the bytes moved, a pipe read to its end.
TEST_F(FlangeStreams, SaysWhichSideFailedAndHowFarItGot) {
    using pendrax::FailedSide;
    using pendrax::platform::FileSink;
    using pendrax::platform::FileSource;
    using pendrax::platform::Ownership;
    const Bytes input = pendrax_test::MakeWav(pendrax_test::RandomSamples(300001, 11));
    pendrax_test::WriteBytes(in, input);
    int pipeEnds[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::thread feeder(
        [&] { FileSink(pipeEnds[1], Ownership::kOwned).Write(input.data(), input.size()); });
    struct Case {
        std::string source, sink;
        FailedSide failed;
        int error;
        std::uint64_t read, written;
    };
    const std::uint64_t size = input.size();
    for (const Case& c : {Case{"pipe", out, FailedSide::kNone, 0, size, size},
                          Case{in, "/dev/full", FailedSide::kOutput, ENOSPC, 44, 0},
                          Case{dir.path(), out, FailedSide::kInput, EISDIR, 0, 0}}) {
        FileSource source(c.source == "pipe" ? pipeEnds[0] : ::open(c.source.c_str(), O_RDONLY),
                          Ownership::kOwned);
        FileSink output;
        ASSERT_EQ(
            pendrax::platform::OpenSink(c.sink, pendrax::platform::Existing::kTruncate, output),
            0u);
        const pendrax::FlangeResult result = pendrax::Flange(source, output, {});
        EXPECT_EQ(result.failed, c.failed) << c.source << " to " << c.sink;
        EXPECT_EQ(result.error, static_cast<pendrax::io::OsError>(c.error)) << c.source;
        EXPECT_EQ(result.bytesRead, c.read) << c.source;
        EXPECT_EQ(result.bytesWritten, c.written) << c.source;
        if (c.failed == FailedSide::kNone) {
            EXPECT_TRUE(pendrax_test::ReadBytes(out) == pendrax_test::ExpectedFlangerOutput(input));
        }
    }
    feeder.join();
}

TEST(KernelOffset, IsThePositionUntilTheInt32LimitThenWrapsByWholePeriods) {
    EXPECT_EQ(pendrax::KernelOffset(0), 0);
    EXPECT_EQ(pendrax::KernelOffset(1024), 1024);
    EXPECT_EQ(pendrax::KernelOffset(2147483647u), 2147483647);
    for (const std::uint64_t position :
         {2147483648ull, 2147484672ull, 10000000000ull, 1ull << 62}) {
        const std::int32_t offset = pendrax::KernelOffset(position);
        EXPECT_GE(offset, 0);
        EXPECT_EQ(static_cast<std::uint64_t>(offset) % pendrax::kFlangerPeriod,
                  position % pendrax::kFlangerPeriod)
            << position;
    }
}

}  // namespace

// The platform's files: sinks over descriptors already written to, and
// replacing a file only once the new one is finished.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "Replace.h"
#include "Streams.h"
#include "TestSupport.h"

namespace {

using pendrax_test::Bytes;

class PlatformFiles : public ::testing::Test {
protected:
    pendrax_test::TempDir dir;
    std::string out = dir.File("out.wav");
};

// A sink handed a file already written to (a redirected standard output)
// rewrites only its own bytes; one appending (>>) rewrites none.
TEST_F(PlatformFiles, SinksRewriteOnlyTheirOwnBytes) {
    using pendrax::platform::FileSink;
    using pendrax::platform::Ownership;
    for (const int mode : {O_WRONLY, O_WRONLY | O_APPEND}) {
        pendrax_test::WriteBytes(out, {'a', 'b'});
        const int file = ::open(out.c_str(), mode);
        ASSERT_EQ(::lseek(file, 0, SEEK_END), 2);
        FileSink sink(file, Ownership::kOwned);
        EXPECT_EQ(sink.Write("cdef", 4).bytes, 4u);
        const bool appending = (mode & O_APPEND) != 0;
        EXPECT_EQ(sink.Seekable(), !appending);
        EXPECT_EQ(sink.WriteAt(0, "C", 1) == 0, !appending);
        EXPECT_EQ(sink.Truncate(2) == 0, !appending);
        EXPECT_EQ(sink.Write("g", 1).bytes, 1u);
        EXPECT_TRUE(pendrax_test::ReadBytes(out) == (appending
                                                         ? Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g'}
                                                         : Bytes{'a', 'b', 'C', 'd', 'g'}));
    }
}

// Replacement: the old file stays whole until the commit, through links,
// with its permissions, by names near the limit, and one taker at a time.
TEST_F(PlatformFiles, ReplacementKeepsLinksModesAndTheOldFileUntilCommit) {
    using pendrax::platform::Replacement;
    using pendrax::platform::ReplaceStep;
    const Bytes old = {1, 2, 3};
    const Bytes fresh = {4, 5, 6, 7};
    const std::string longName = dir.File(std::string(250, 'n'));
    const std::string link = dir.File("link.wav");
    pendrax_test::WriteBytes(out, old);
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("out.wav", link.c_str()), 0);
    for (const std::string& target : {link, longName}) {
        for (const bool commit : {false, true}) {
            Replacement replacement;
            ASSERT_FALSE(replacement.Begin(target).Failed()) << target;
            Replacement second;
            EXPECT_EQ(second.Begin(target).step, ReplaceStep::kLockTarget);
            // Writers that take the same lock (the exports) leave the file alone.
            pendrax::platform::FileSink other;
            ASSERT_EQ(
                pendrax::platform::OpenSink(target, pendrax::platform::Existing::kKeep, other), 0u);
            EXPECT_NE(pendrax::platform::LockForWriting(other.Stream().File()), 0u) << target;
            replacement.Sink().Write(fresh.data(), fresh.size());
            // Until the commit the target is as it was: the old bytes, or none.
            EXPECT_TRUE(pendrax_test::ReadBytes(target) == (target == longName ? Bytes{} : old))
                << target;
            if (commit) {
                EXPECT_FALSE(replacement.Commit().Failed());
            }
        }
        EXPECT_TRUE(pendrax_test::ReadBytes(target) == fresh) << target;
    }
    struct stat info = {};
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // Nothing is left beside them: the target, the link and the long name.
    EXPECT_EQ(pendrax_test::RunCommand("test $(ls -A " + dir.path() + " | wc -l) = 3"), 0);
    pendrax::platform::FileSource input;
    ASSERT_EQ(pendrax::platform::OpenSource(out, input), 0u);
    Replacement overInput;
    ASSERT_FALSE(overInput.Begin(link).Failed());
    EXPECT_TRUE(pendrax::platform::SameFile(overInput.Target(), input.Stream().File()));
}

}  // namespace

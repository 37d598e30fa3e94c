// A header read ahead from a pipe, handed back in front of the rest: the
// bytes come out in order whatever the reads' sizes, and an error from the
// rest still counts what the prefix gave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "PrefixedSource.h"

namespace {

class Bytes final : public pendrax::io::Source {
public:
    Bytes(std::string text, pendrax::io::OsError atEnd) : text_(std::move(text)), atEnd_(atEnd) {}
    pendrax::io::Transfer Read(void* data, std::size_t size) override {
        const std::size_t n = std::min(size, text_.size() - at_);
        std::memcpy(data, text_.data() + at_, n);
        at_ += n;
        return {n, n < size ? atEnd_ : 0};
    }

private:
    std::string text_;
    pendrax::io::OsError atEnd_;
    std::size_t at_ = 0;
};

TEST(PrefixedSource, GivesThePrefixThenTheRestInAnyPieces) {
    for (std::size_t piece = 1; piece <= 12; ++piece) {
        for (const pendrax::io::OsError atEnd : {0, 5}) {
            SCOPED_TRACE(piece * 10 + atEnd);
            Bytes rest("restof", atEnd);
            pendrax::io::PrefixedSource source("head", 4, rest);
            std::string got;
            pendrax::io::Transfer last;
            do {
                char buffer[12];
                last = source.Read(buffer, piece);
                got.append(buffer, last.bytes);
            } while (last.bytes == piece);
            EXPECT_EQ(got, "headrestof");
            EXPECT_EQ(last.error, atEnd);
        }
    }
}

}  // namespace

// A Source whose first bytes were already read from another: a caller that
// looked at a pipe's header hands the header back in front of the rest.
#pragma once

#include <cstring>

#include "Io.h"

namespace pendrax::io {

class PrefixedSource final : public Source {
public:
    // `prefix` must outlive this; `rest` is read once the prefix is used up.
    PrefixedSource(const void* prefix, std::size_t size, Source& rest)
        : prefix_(static_cast<const unsigned char*>(prefix)), left_(size), rest_(rest) {}

    Transfer Read(void* data, std::size_t size) override {
        if (size <= left_) {
            std::memcpy(data, prefix_, size);
            prefix_ += size;
            left_ -= size;
            return Transfer{size, 0};
        }
        const std::size_t taken = left_;
        if (taken > 0) {
            std::memcpy(data, prefix_, taken);
            left_ = 0;
        }
        Transfer more = rest_.Read(static_cast<unsigned char*>(data) + taken, size - taken);
        more.bytes += taken;
        return more;
    }

private:
    const unsigned char* prefix_;
    std::size_t left_;
    Source& rest_;
};

}  // namespace pendrax::io

#include "Streams.h"

namespace pendrax::platform {

FileStream::FileStream(NativeFile file, Ownership ownership) : file_(file), ownership_(ownership) {}

FileStream::FileStream(FileStream&& other) noexcept
    : file_(other.file_), ownership_(other.ownership_) {
    other.file_ = kNoFile;
}

FileStream& FileStream::operator=(FileStream&& other) noexcept {
    if (this != &other) {
        (void)Close();
        file_ = other.file_;
        ownership_ = other.ownership_;
        other.file_ = kNoFile;
    }
    return *this;
}

FileStream::~FileStream() { (void)Close(); }

bool FileSource::Length(std::uint64_t& length) const {
    if (!stream_.Length(length)) {
        return false;
    }
    length -= length < start_ ? length : start_;
    return true;
}

}  // namespace pendrax::platform

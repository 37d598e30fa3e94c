#include <windows.h>

#include "Streams.h"

#include <cstdint>

#include "CallLimits.h"

namespace pendrax::platform {
namespace {

io::OsError LastError() { return static_cast<io::OsError>(GetLastError()); }

HANDLE Handle(NativeFile file) { return static_cast<HANDLE>(file); }

DWORD CallBytes(std::size_t size) { return static_cast<DWORD>(PerCall(size)); }

LARGE_INTEGER Large(std::uint64_t value) {
    LARGE_INTEGER large{};
    large.QuadPart = static_cast<LONGLONG>(value);
    return large;
}

// Where a synchronous handle's file pointer stands; false when it has none.
bool Position(HANDLE file, std::uint64_t& position) {
    LARGE_INTEGER at{};
    if (!SetFilePointerEx(file, Large(0), &at, FILE_CURRENT)) {
        return false;
    }
    position = static_cast<std::uint64_t>(at.QuadPart);
    return true;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

const NativeFile kNoFile = INVALID_HANDLE_VALUE;

io::OsError FileStream::Close() {
    const NativeFile file = file_;
    file_ = kNoFile;
    if (file == kNoFile || ownership_ == Ownership::kBorrowed) {
        return 0;
    }
    return CloseHandle(Handle(file)) ? 0 : LastError();
}

io::Transfer FileSource::Read(void* data, std::size_t size) {
    io::Transfer done;
    auto* bytes = static_cast<unsigned char*>(data);
    while (done.bytes < size) {
        DWORD got = 0;
        if (!ReadFile(Handle(stream_.File()), bytes + done.bytes, CallBytes(size - done.bytes),
                      &got, nullptr)) {
            const DWORD error = GetLastError();
            // A pipe whose writer closed has ended, not failed.
            done.error = error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : error;
            break;
        }
        if (got == 0) {
            break;
        }
        done.bytes += got;
    }
    return done;
}

FileSource::FileSource(NativeFile file, Ownership ownership) : stream_(file, ownership) {
    if (file == kNoFile || !Position(Handle(file), start_)) {
        start_ = 0;
    }
}

io::Transfer FileSource::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
    io::Transfer done;
    if (offset > UINT64_MAX - start_) {
        done.error = ERROR_ARITHMETIC_OVERFLOW;
        return done;
    }
    offset += start_;
    const HANDLE file = Handle(stream_.File());
    // A positioned read on a synchronous handle moves the file pointer too:
    // it is put back.
    std::uint64_t position = 0;
    if (!OffsetFits(offset, size) || !Position(file, position)) {
        done.error = OffsetFits(offset, size) ? LastError() : ERROR_ARITHMETIC_OVERFLOW;
        return done;
    }
    auto* bytes = static_cast<unsigned char*>(data);
    while (done.bytes < size) {
        OVERLAPPED at = At(offset + done.bytes);
        DWORD got = 0;
        if (!ReadFile(file, bytes + done.bytes, CallBytes(size - done.bytes), &got, &at)) {
            const DWORD error = GetLastError();
            done.error = error == ERROR_HANDLE_EOF ? 0 : error;
            break;
        }
        if (got == 0) {
            break;
        }
        done.bytes += got;
    }
    (void)SetFilePointerEx(file, Large(position), nullptr, FILE_BEGIN);
    return done;
}

bool FileStream::Length(std::uint64_t& length) const {
    LARGE_INTEGER size{};
    if (file_ == kNoFile || GetFileType(Handle(file_)) != FILE_TYPE_DISK ||
        !GetFileSizeEx(Handle(file_), &size)) {
        return false;
    }
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

FileSink::FileSink(NativeFile file, Ownership ownership) : stream_(file, ownership) {
    std::uint64_t length = 0;
    seekable_ = stream_.Length(length) && Position(Handle(stream_.File()), start_);
    if (!seekable_) {
        start_ = 0;
    }
}

io::Transfer FileSink::Write(const void* data, std::size_t size) {
    io::Transfer done;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (done.bytes < size) {
        DWORD put = 0;
        if (!WriteFile(Handle(stream_.File()), bytes + done.bytes, CallBytes(size - done.bytes),
                       &put, nullptr)) {
            done.error = LastError();
            break;
        }
        if (put == 0) {
            done.error = ERROR_WRITE_FAULT;  // no progress and no reason: never spin
            break;
        }
        done.bytes += put;
    }
    return done;
}

io::OsError FileSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (!seekable_) {
        return ERROR_INVALID_FUNCTION;
    }
    if (offset > UINT64_MAX - start_ || !OffsetFits(start_ + offset, size)) {
        return ERROR_ARITHMETIC_OVERFLOW;
    }
    offset += start_;
    const HANDLE file = Handle(stream_.File());
    // A positioned write on a synchronous handle moves the file pointer
    // too: put it back so appends go on at the end.
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file, Large(0), &end, FILE_CURRENT)) {
        return LastError();
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    io::OsError error = 0;
    while (done < size && error == 0) {
        OVERLAPPED at = At(offset + done);
        DWORD put = 0;
        if (!WriteFile(file, bytes + done, CallBytes(size - done), &put, &at)) {
            error = LastError();
        } else if (put == 0) {
            error = ERROR_WRITE_FAULT;
        }
        done += put;
    }
    if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && error == 0) {
        error = LastError();
    }
    return error;
}

io::OsError FileSink::Truncate(std::uint64_t size) {
    if (!seekable_) {
        return ERROR_INVALID_FUNCTION;
    }
    if (size > UINT64_MAX - start_ || !OffsetFits(start_ + size, 0)) {
        return ERROR_ARITHMETIC_OVERFLOW;
    }
    const HANDLE file = Handle(stream_.File());
    if (!SetFilePointerEx(file, Large(start_ + size), nullptr, FILE_BEGIN) || !SetEndOfFile(file)) {
        return LastError();
    }
    return 0;
}

namespace {

// A process with no console has null standard handles.
NativeFile Standard(DWORD which) {
    const HANDLE file = GetStdHandle(which);
    return file == nullptr ? kNoFile : file;
}

}  // namespace

FileSource StandardInput() { return FileSource(Standard(STD_INPUT_HANDLE), Ownership::kBorrowed); }

FileSink StandardOutput() { return FileSink(Standard(STD_OUTPUT_HANDLE), Ownership::kBorrowed); }

io::OsError OpenSource(const FileName& name, FileSource& source) {
    if (name.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    // Shared as the C runtime's fopen shares: others may read and write.
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    source = FileSource(file, Ownership::kOwned);
    return 0;
}

io::OsError OpenSink(const FileName& name, Existing existing, FileSink& sink) {
    if (name.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const DWORD disposition = existing == Existing::kTruncate ? CREATE_ALWAYS : OPEN_ALWAYS;
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    // Opening an existing file leaves that as the last error; nothing failed.
    SetLastError(0);
    sink = FileSink(file, Ownership::kOwned);
    return 0;
}

std::uint32_t LinkCount(NativeFile file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(Handle(file), &info) && info.nNumberOfLinks > 1
               ? info.nNumberOfLinks
               : 1;
}

io::OsError LockForWriting(NativeFile) { return 0; }

bool SameFile(NativeFile first, NativeFile second) {
    BY_HANDLE_FILE_INFORMATION firstInfo{};
    BY_HANDLE_FILE_INFORMATION secondInfo{};
    // Only disk files have an identity; consoles and pipes are never the same.
    return first != kNoFile && second != kNoFile && GetFileType(Handle(first)) == FILE_TYPE_DISK &&
           GetFileType(Handle(second)) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(Handle(first), &firstInfo) &&
           GetFileInformationByHandle(Handle(second), &secondInfo) &&
           firstInfo.dwVolumeSerialNumber == secondInfo.dwVolumeSerialNumber &&
           firstInfo.nFileIndexHigh == secondInfo.nFileIndexHigh &&
           firstInfo.nFileIndexLow == secondInfo.nFileIndexLow;
}

}  // namespace pendrax::platform

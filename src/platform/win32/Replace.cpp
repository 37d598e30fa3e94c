#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "Replace.h"
#include "ReplaceSystem.h"

namespace pendrax::platform {
namespace {

HANDLE Handle(NativeFile file) { return static_cast<HANDLE>(file); }

io::OsError LastError() { return static_cast<io::OsError>(GetLastError()); }

// The lock covers one byte far past any real end, so readers of the target
// are not held off: only another replacement, taking the same byte, is.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFu;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE OpenTarget(const std::wstring& name, bool& created) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
            file = CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) {
            return file;
        }
        file = CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            created = file != INVALID_HANDLE_VALUE;
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// The file's own name, links and junctions followed; the name given when
// the system cannot tell.
std::wstring FinalName(HANDLE file, const std::wstring& given) {
    std::wstring name(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            GetFinalPathNameByHandleW(file, &name[0], static_cast<DWORD>(name.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return given;
        }
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(length + 1);
    }
    return given;
}

std::wstring FolderOf(const std::wstring& name) {
    const std::size_t separator = name.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return name.size() >= 2 && name[1] == L':' ? name.substr(0, 2) : L".";
    }
    return name.substr(0, separator);
}

HANDLE CreateTemporary(const std::wstring& folder, std::wstring& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t leaf[48];
        (void)std::swprintf(leaf, sizeof leaf / sizeof leaf[0], L"\\.pendrax-%lx-%x.tmp",
                            static_cast<unsigned long>(GetCurrentProcessId()),
                            counter.fetch_add(1));
        name = folder + leaf;
        const HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

ReplaceStatus Replacement::Begin(const FileName& target) {
    Abandon();
    if (target.empty()) {
        return {ReplaceStep::kOpenTarget, ERROR_FILE_NOT_FOUND};
    }
    bool created = false;
    const HANDLE file = OpenTarget(target, created);
    if (file == INVALID_HANDLE_VALUE) {
        return {ReplaceStep::kOpenTarget, LastError()};
    }
    target_ = FileStream(file, Ownership::kOwned);
    targetName_ = FinalName(file, target);
    createdTarget_ = created;
    active_ = true;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        Abandon();
        return {ReplaceStep::kOpenTarget, ERROR_INVALID_FUNCTION};
    }
    OVERLAPPED at{};
    at.Offset = kLockOffsetLow;
    at.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const io::OsError error = LastError();
        Abandon();
        return {ReplaceStep::kLockTarget, error};
    }
    const HANDLE temporary = CreateTemporary(FolderOf(targetName_), temporaryName_);
    if (temporary == INVALID_HANDLE_VALUE) {
        const io::OsError error = LastError();
        temporaryName_.clear();
        Abandon();
        return {ReplaceStep::kCreateTemporary, error};
    }
    sink_ = FileSink(temporary, Ownership::kOwned);
    return {};
}

namespace replace_system {

// Windows makes the new file under its name from the start.
io::OsError NameTemporary(NativeFile, const FileName&, FileName&) { return 0; }

io::OsError RenameOver(const FileName& from, const FileName& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastError();
}

// A target still open goes once its handle closes: it was opened to share
// deletion.
void Remove(const FileName& name) { (void)DeleteFileW(name.c_str()); }

bool StillEmptyAt(NativeFile file, const FileName& name) {
    (void)name;  // the handle is the file; no rename replaces an open one here
    LARGE_INTEGER size{};
    return GetFileSizeEx(Handle(file), &size) && size.QuadPart == 0;
}

}  // namespace replace_system

}  // namespace pendrax::platform

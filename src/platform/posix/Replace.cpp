#include "Replace.h"
#include "ReplaceSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

namespace pendrax::platform {
namespace {

// As many links as the kernel itself follows before ELOOP.
constexpr int kMostLinks = 40;

std::string FolderOf(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : name.substr(0, slash);
}

// Follows symbolic links to the name of the file itself (which need not
// exist yet). 0, or the system's error.
int Resolve(std::string& name) {
    for (int hop = 0; hop <= kMostLinks; ++hop) {
        struct stat info = {};
        if (::lstat(name.c_str(), &info) != 0) {
            return errno == ENOENT ? 0 : errno;
        }
        if (!S_ISLNK(info.st_mode)) {
            return 0;
        }
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0) + 256, '\0');
        const ssize_t length = ::readlink(name.c_str(), &link[0], link.size());
        if (length < 0) {
            return errno;
        }
        link.resize(static_cast<std::size_t>(length));
        if (!link.empty() && link[0] == '/') {
            name = link;
        } else {
            name = FolderOf(name).append("/").append(link);
        }
    }
    return ELOOP;
}

// Opens the target to lock it: for reading, or for writing where only that
// is allowed; creating it when missing. Never waits (a FIFO).
int OpenTarget(const std::string& name, bool& created) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int file = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (file < 0 && errno == EACCES) {
            file = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        }
        if (file >= 0 || errno != ENOENT) {
            return file;
        }
        file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0 || errno != EEXIST) {
            created = file >= 0;
            return file;
        }
    }
    return -1;
}

// A name unused in the folder: short, so it fits wherever the target's does.
// `make` creates a file under the name or links one there: 0, or its error.
template <typename Make>
int ClaimName(const std::string& folder, std::string& name, Make make) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char leaf[48];
        (void)std::snprintf(leaf, sizeof leaf, "/.pendrax-%lx-%x", static_cast<long>(::getpid()),
                            counter.fetch_add(1));
        name = folder + leaf;
        const int error = make(name);
        if (error != EEXIST) {
            return error;
        }
    }
    return EEXIST;
}

// The new file, unnamed where the file system allows it, so that nothing is
// left behind however the process ends; `name` stays empty until Commit
// links it in. Elsewhere a named temporary.
int CreateTemporary(const std::string& folder, std::string& name) {
    name.clear();
#ifdef O_TMPFILE
    // Linking an unnamed file needs /proc (AT_EMPTY_PATH needs a privilege).
    if (::access("/proc/self/fd", X_OK) == 0) {
        const int file = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (file >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
            return file;
        }
    }
#endif
    int file = -1;
    const int error = ClaimName(folder, name, [&file](const std::string& candidate) {
        file = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return file >= 0 ? 0 : errno;
    });
    errno = error;
    return file;
}

}  // namespace

ReplaceStatus Replacement::Begin(const FileName& target) {
    Abandon();
    if (target.empty()) {
        return {ReplaceStep::kOpenTarget, ENOENT};
    }
    std::string name = target;
    if (const int error = Resolve(name); error != 0) {
        return {ReplaceStep::kOpenTarget, static_cast<io::OsError>(error)};
    }
    struct stat info = {};
    for (int attempt = 0;; ++attempt) {
        bool created = false;
        const int file = OpenTarget(name, created);
        if (file < 0) {
            return {ReplaceStep::kOpenTarget, static_cast<io::OsError>(errno)};
        }
        target_ = FileStream(file, Ownership::kOwned);
        targetName_ = name;
        createdTarget_ = created;
        active_ = true;
        const bool known = ::fstat(file, &info) == 0;
        if (!known || !S_ISREG(info.st_mode)) {
            const int error = !known ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
            Abandon();
            return {ReplaceStep::kOpenTarget, static_cast<io::OsError>(error)};
        }
        if (const io::OsError error = LockForWriting(file); error != 0) {
            Abandon();
            return {ReplaceStep::kLockTarget, error};
        }
        // A replacement committed between the open and the lock put another
        // file under the name: that one is the target now.
        struct stat named = {};
        if (::stat(name.c_str(), &named) == 0 && named.st_dev == info.st_dev &&
            named.st_ino == info.st_ino) {
            break;
        }
        if (attempt == 2) {
            Abandon();
            return {ReplaceStep::kLockTarget, EWOULDBLOCK};
        }
        Abandon();
    }
    // In a sticky folder only the file's or the folder's owner may rename
    // over it: found now, before any work, and nothing is made.
    struct stat folder = {};
    const uid_t self = ::geteuid();
    if (!createdTarget_ && self != 0 && ::stat(FolderOf(name).c_str(), &folder) == 0 &&
        (folder.st_mode & S_ISVTX) != 0 && info.st_uid != self && folder.st_uid != self) {
        Abandon();
        return {ReplaceStep::kRename, EPERM};
    }
    const int temporary = CreateTemporary(FolderOf(name), temporaryName_);
    if (temporary < 0) {
        const int error = errno;
        temporaryName_.clear();
        Abandon();
        return {ReplaceStep::kCreateTemporary, static_cast<io::OsError>(error)};
    }
    if (!createdTarget_) {
        // The target's permissions and, where allowed, its owners.
        (void)::fchmod(temporary, info.st_mode & 01777);
        const int owned = ::fchown(temporary, info.st_uid, info.st_gid);
        (void)owned;
    }
    sink_ = FileSink(temporary, Ownership::kOwned);
    return {};
}

namespace replace_system {

io::OsError NameTemporary(NativeFile file, const FileName& target, FileName& name) {
    if (!name.empty()) {
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(file);
    const int error = ClaimName(FolderOf(target), name, [&path](const std::string& candidate) {
        return ::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    });
    if (error != 0) {
        name.clear();
    }
    return static_cast<io::OsError>(error);
}

io::OsError RenameOver(const FileName& from, const FileName& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : static_cast<io::OsError>(errno);
}

void Remove(const FileName& name) { (void)::unlink(name.c_str()); }

bool StillEmptyAt(NativeFile file, const FileName& name) {
    struct stat held = {};
    struct stat named = {};
    return ::fstat(file, &held) == 0 && ::stat(name.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino && named.st_size == 0;
}

}  // namespace replace_system

}  // namespace pendrax::platform

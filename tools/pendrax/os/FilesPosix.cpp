#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "os/Files.h"
#include "os/Io.h"
#include "os/IoPosix.h"

namespace pendrax_host {
namespace {

Arg Named(const std::string& text) {
    Arg arg;
    arg.text = text;
    (void)Utf8ToWide(text, arg.wide);
    return arg;
}

// A new file by a name made from `stem`; the process id and a count keep
// it apart from every other.
bool CreateNew(const std::string& stem, const char* suffix, mode_t mode, Arg& created,
               std::string& reason) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            stem + std::to_string(::getpid()) + "-" + std::to_string(attempt) + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::close(fd);
            created = Named(name);
            return true;
        }
        if (errno != EEXIST) {
            reason = LastError();
            return false;
        }
    }
    reason = ErrorText(EEXIST);
    return false;
}

}  // namespace

bool TakesStream(const Arg& out) {
    struct stat info {};
    return IsStream(out) || (::stat(out.text.c_str(), &info) == 0 && !S_ISREG(info.st_mode));
}

Arg FinalTarget(const Arg& out) {
    std::string path = out.text;
    char target[4096];
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
            break;
        }
        const std::string link(target, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        // A relative link leads from the folder that holds it.
        if (link[0] == '/' || slash == std::string::npos) {
            path = link;
        } else {
            path.resize(slash + 1);
            path += link;
        }
    }
    return path == out.text ? out : Named(path);
}

bool CreateBeside(const Arg& target, Arg& created, std::string& reason) {
    struct stat info {};
    mode_t mode = 0666;  // the umask applies, as for any new file
    const bool exists = ::stat(target.text.c_str(), &info) == 0;
    if (exists) {
        const int fd = ::open(target.text.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            reason = LastError();
            return false;
        }
        ::close(fd);
        mode = info.st_mode & 07777;
    }
    if (!CreateNew(target.text + ".pendrax-", ".part", mode, created, reason)) {
        return false;
    }
    if (exists) {
        // Replacing the file keeps what it was: its mode, and its owner where allowed.
        (void)::chmod(created.text.c_str(), mode);
        // Only root may give a file away; anyone else keeps it as theirs, as cp does.
        const int given = ::chown(created.text.c_str(), info.st_uid, info.st_gid);
        static_cast<void>(given);
    }
    return true;
}

bool CreateTemporary(Arg& created, std::string& reason) {
    // Read once, before any other thread exists.
    const char* folder = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe)
    const std::string stem =
        std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/pendrax-";
    return CreateNew(stem, ".wav", 0600, created, reason);
}

bool MoveOnto(const Arg& from, const Arg& to, std::string& reason) {
    if (::rename(from.text.c_str(), to.text.c_str()) != 0) {
        reason = LastError();
        return false;
    }
    return true;
}

void RemoveFile(const Arg& path) { (void)::unlink(path.text.c_str()); }

bool Rewrite(const Arg& path, std::int64_t length, const unsigned char* head, std::size_t bytes,
             std::string& reason) {
    const int fd = ::open(path.text.c_str(), O_WRONLY | O_CLOEXEC);
    const bool done = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(length)) == 0 &&
                      WriteAtStart(fd, head, bytes) && ::fsync(fd) == 0;
    if (!done) {
        reason = LastError();
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

}  // namespace pendrax_host

// A new version of a file, written beside it and put in its place only
// when complete: readers see the old file or the whole new one, never part
// of it, and a failure leaves the old one as it was.
#pragma once

#include "Files.h"
#include "Io.h"
#include "Streams.h"

namespace pendrax::platform {

// What a replacement was doing when it failed.
enum class ReplaceStep {
    kNone,
    kOpenTarget,       // following, opening or creating the target itself
    kLockTarget,       // another replacement of the same file is under way
    kCreateTemporary,  // the temporary file beside it (the folder's fault)
    kFinishTemporary,  // closing it: a write the system had delayed failed
    kRename,           // putting it in the target's place; at Begin, a folder
                       // whose sticky bit lets only the owners replace it
};

struct ReplaceStatus {
    ReplaceStep step = ReplaceStep::kNone;
    io::OsError error = 0;
    bool Failed() const { return step != ReplaceStep::kNone; }
};

class Replacement {
public:
    Replacement() = default;
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    // Abandons a replacement neither committed nor kept.
    ~Replacement();

    // Starts replacing `target`. Symbolic links are followed to the file
    // they name, which is replaced and the links kept. The target is
    // opened (created empty when missing, and removed again on Abandon) and
    // locked, so a second replacement of the same file, however named,
    // fails at kLockTarget until this one ends. The temporary file has a
    // short name of its own in the target's folder, so names up to the
    // system's limit work. On POSIX it gets the target's permissions and,
    // where allowed, its owners; on Windows the access a new file in the
    // folder inherits, with normal attributes. A target that
    // exists but is not a regular file (a device, a pipe, a folder) fails
    // at kOpenTarget: write to it directly instead.
    ReplaceStatus Begin(const FileName& target);

    // How many names the target has: a replacement gives only this one the
    // new version, the others keeping the old.
    std::uint32_t TargetLinks() const { return LinkCount(target_.File()); }

    // Where the new version goes. Seekable.
    FileSink& Sink() { return sink_; }
    // The target as it stands, open: compare it with an input by SameFile.
    NativeFile Target() const { return target_.File(); }
    // The temporary file's name, for a message when Commit leaves it; empty
    // while the new file has none (made unnamed, so nothing can be left).
    const FileName& TemporaryName() const { return temporaryName_; }

    // Closes the sink and renames the temporary file over the target. On
    // failure at kRename the temporary file is left for the caller to name;
    // at kFinishTemporary it is removed. With no replacement begun it fails
    // at kOpenTarget with no system error.
    ReplaceStatus Commit();

    // Closes and removes the temporary file; the target is left as it was.
    void Abandon();

private:
    FileSink sink_;
    FileStream target_;
    FileName targetName_;
    FileName temporaryName_;
    bool createdTarget_ = false;
    bool active_ = false;
};

}  // namespace pendrax::platform

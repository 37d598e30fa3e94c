#include "Output.h"

#include <utility>

#include "Quote.h"

namespace pendrax_host {
namespace io = pendrax::io;
namespace platform = pendrax::platform;

Output::Opened Output::Open(const Arg& output) {
    name_ = OutputName(output);
    if (IsStream(output)) {
        direct_ = platform::StandardOutput();
        return Opened::kOpened;
    }
    const FileName name = NameOf(output);
    created_ = !Exists(name, true);
    const platform::ReplaceStatus begun = replacement_.Begin(name);
    replacing_ = !begun.Failed();
    const std::uint32_t others = replacing_ ? replacement_.TargetLinks() - 1 : 0;
    if (others > 0 && !allowLinks) {
        // A new version under one name would split the file from its others.
        replacement_.Abandon();
        replacing_ = false;
        Say("pendrax: %s has %u other hard link%s, which would keep the old content; "
            "it was left as it was (--force replaces this name alone)\n",
            name_.c_str(), others, others == 1 ? "" : "s");
        return Opened::kFailed;
    }
    if (replacing_) {
        return Opened::kOpened;
    }
    if (begun.step == platform::ReplaceStep::kRename) {
        Say("pendrax: cannot replace %s: its folder is sticky and the file is another user's; "
            "it was left as it was\n",
            name_.c_str());
        return Opened::kFailed;
    }
    if (begun.step == platform::ReplaceStep::kLockTarget) {
        Say("pendrax: cannot write %s: another pendrax is writing it\n", name_.c_str());
        return Opened::kBusy;
    }
    if (begun.step == platform::ReplaceStep::kCreateTemporary) {
        Say("pendrax: cannot create a new file in the folder of %s: %s\n", name_.c_str(),
            ErrorText(begun.error).c_str());
        return Opened::kFailed;
    }
    // A device or a pipe by name is written as it is, never replaced.
    const io::OsError error = platform::OpenSink(name, platform::Existing::kKeep, direct_);
    if (error == 0 && !direct_.Seekable()) {
        return Opened::kOpened;
    }
    Say("pendrax: cannot %s output %s%s: %s\n", Exists(name) ? "open" : "create", name_.c_str(),
        FolderFault(name, error) ? " in its folder" : "",
        ErrorText(error != 0 ? error : begun.error).c_str());
    return Opened::kFailed;
}

io::Transfer Output::Write(const void* data, std::size_t size) {
    if (endOnStop && StopRequested()) {
        return {0, 1};
    }
    return Current().Write(data, size);
}

NativeFile Output::File() const {
    return replacing_ ? replacement_.Target() : direct_.Stream().File();
}

void Output::KeepWriting() {
    const NativeFile copy =
        replacing_ ? LockedCopy(replacement_.Sink().Stream().File()) : platform::kNoFile;
    if (copy != platform::kNoFile) {
        kept_ = platform::FileSink(copy, platform::Ownership::kOwned);
        keeping_ = true;
    }
}

bool Output::Commit() {
    if (!replacing_ || committed_) {
        return !commitFailed_;
    }
    committed_ = true;
    const platform::ReplaceStatus committed = replacement_.Commit();
    commitFailed_ = committed.Failed();
    if (committed.step == platform::ReplaceStep::kRename) {
        Say("pendrax: cannot put the new %s in place: %s; it is in %s\n", name_.c_str(),
            ErrorText(committed.error).c_str(), QuoteName(Utf8Name(Temporary())).c_str());
    } else if (committed.Failed()) {
        Say("pendrax: writing %s failed: %s; it was left as it was\n", name_.c_str(),
            ErrorText(committed.error).c_str());
    }
    return !committed.Failed();
}

const platform::FileSink& Output::Current() const {
    if (keeping_) {
        return kept_;
    }
    return replacing_ ? const_cast<platform::Replacement&>(replacement_).Sink() : direct_;
}

io::Sink& Output::Current() {
    return const_cast<platform::FileSink&>(std::as_const(*this).Current());
}

}  // namespace pendrax_host

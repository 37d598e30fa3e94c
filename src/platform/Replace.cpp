#include "Replace.h"

#include "ReplaceSystem.h"

namespace pendrax::platform {

Replacement::~Replacement() { Abandon(); }

ReplaceStatus Replacement::Commit() {
    if (!active_) {
        return {ReplaceStep::kOpenTarget, 0};
    }
    if (const io::OsError error =
            replace_system::NameTemporary(sink_.Stream().File(), targetName_, temporaryName_);
        error != 0) {
        Abandon();
        return {ReplaceStep::kFinishTemporary, error};
    }
    if (const io::OsError error = sink_.Stream().Close(); error != 0) {
        Abandon();
        return {ReplaceStep::kFinishTemporary, error};
    }
    // The lock ends before the rename: Windows renames over no file open
    // without delete sharing, and a taker that locks the old file meanwhile
    // finds another under the name and takes that one.
    (void)target_.Close();
    active_ = false;
    if (const io::OsError error = replace_system::RenameOver(temporaryName_, targetName_);
        error != 0) {
        return {ReplaceStep::kRename, error};  // the temporary file stays, to be named
    }
    temporaryName_.clear();
    return {};
}

void Replacement::Abandon() {
    if (!active_) {
        return;
    }
    active_ = false;
    (void)sink_.Stream().Close();
    if (!temporaryName_.empty()) {
        replace_system::Remove(temporaryName_);
        temporaryName_.clear();
    }
    if (createdTarget_ && replace_system::StillEmptyAt(target_.File(), targetName_)) {
        replace_system::Remove(targetName_);
    }
    (void)target_.Close();
}

}  // namespace pendrax::platform

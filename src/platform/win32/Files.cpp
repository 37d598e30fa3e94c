#include "Files.h"

namespace pendrax::platform {

FileName NativeName(const PendraxWideChar* path) {
    return path == nullptr ? FileName() : FileName(path);
}

}  // namespace pendrax::platform

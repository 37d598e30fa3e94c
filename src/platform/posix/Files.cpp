#include "Files.h"

#include "Utf.h"

namespace pendrax::platform {

std::string WidePathToNarrow(const PendraxWideChar* path) {
    std::string name;
    if (path != nullptr) {
        (void)text::ExactUtf8(path, name);  // empty when there is no exact form
    }
    return name;
}

FileName NativeName(const PendraxWideChar* path) { return WidePathToNarrow(path); }

}  // namespace pendrax::platform

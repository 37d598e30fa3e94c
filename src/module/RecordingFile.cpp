#include "RecordingFile.h"

#include <new>

#include "Streams.h"

namespace pendrax::module {

int OpenRecordingFile(const PendraxWideChar* path, std::shared_ptr<io::Sink>& sink) {
    try {
        auto file = std::make_shared<platform::FileSink>();
        // Cut only once no other writer holds it.
        if (platform::OpenSink(platform::NativeName(path), platform::Existing::kKeep, *file) != 0 ||
            (file->Seekable() &&
             (platform::LockForWriting(file->Stream().File()) != 0 || file->Truncate(0) != 0))) {
            return PENDRAX_RECORDER_FILE_FAILED;
        }
        sink = std::move(file);
        return PENDRAX_SUCCESS;
    } catch (const std::bad_alloc&) {
        return PENDRAX_RECORDER_DEVICE_OPEN_FAILED;
    }
}

}  // namespace pendrax::module

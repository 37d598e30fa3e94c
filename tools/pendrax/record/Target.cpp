#include "record/Target.h"

#include <cstdio>

#include "Cli.h"
#include "Console.h"
#include "record/WavStream.h"

namespace pendrax_host {
namespace {

constexpr std::int64_t kHeaderBytes = PENDRAX_WAV_HEADER_BYTES;
constexpr std::int64_t kBlockBytes = PENDRAX_BLOCK_BYTES;

std::int64_t OffsetOf(long block) { return kHeaderBytes + block * kBlockBytes; }

int CannotCreate(const std::string& name, const std::string& reason) {
    Say("pendrax: cannot create %s: %s\n", name.c_str(), reason.c_str());
    return kExitStartFailedBase + PENDRAX_RECORDER_FILE_FAILED;
}

}  // namespace

std::string RecordingTarget::Name() const { return OutputName(out_); }

int RecordingTarget::Prepare() {
    std::string reason;
    streaming_ = TakesStream(out_);
    if (streaming_) {
        // The stream's header goes first, so an OUT that takes nothing
        // (a full device, a closed pipe) is known before capture starts.
        unsigned char header[PENDRAX_WAV_HEADER_BYTES];
        WavHeaderFor(kStreamDataBytes, header);
        if (!sink_.Open(out_, reason)) {
            return CannotCreate(Name(), reason);
        }
        if (!sink_.Write(header, sizeof header, reason)) {
            Say("pendrax: writing %s failed: %s\n", Name().c_str(), reason.c_str());
            return kExitStartFailedBase + PENDRAX_RECORDER_FILE_FAILED;
        }
        if (!CreateTemporary(recording_, reason)) {
            return CannotCreate("a temporary file", reason);
        }
        return kExitSuccess;
    }
    final_ = FinalTarget(out_);
    if (!CreateBeside(final_, recording_, reason)) {
        return CannotCreate(Name(), reason);
    }
    return kExitSuccess;
}

bool RecordingTarget::Started(std::string& reason) {
    file_.Open(recording_);
#if !defined(_WIN32)
    // POSIX renames a file that is open: from here OUT is the recording, and
    // a host that dies leaves it with a valid header.
    if (!streaming_) {
        if (!MoveOnto(recording_, final_, reason)) {
            return false;
        }
        moved_ = true;
        recording_ = final_;
    }
#endif
    (void)reason;
    return true;
}

void RecordingTarget::Abandon() {
    file_.Close();
    RemoveFile(recording_);
}

long RecordingTarget::Blocks() const {
    const std::int64_t size = file_.Size();
    return size < kHeaderBytes ? 0 : static_cast<long>((size - kHeaderBytes) / kBlockBytes);
}

bool RecordingTarget::ReadBlock(long index, unsigned char (&block)[PENDRAX_BLOCK_BYTES]) const {
    return file_.ReadAt(OffsetOf(index), block, sizeof block);
}

bool RecordingTarget::Pump(long limit, std::string& reason) {
    unsigned char block[PENDRAX_BLOCK_BYTES];
    while (streaming_ && streamed_ < limit) {
        if (!ReadBlock(streamed_, block)) {
            reason = "the temporary file '" + recording_.text + "' could not be read";
            return false;
        }
        if (!sink_.Write(block, sizeof block, reason)) {
            return false;
        }
        ++streamed_;
    }
    return true;
}

bool RecordingTarget::Finish(long keep, long blocks, std::string& reason) {
    file_.Close();
    unsigned char header[PENDRAX_WAV_HEADER_BYTES];
    WavHeaderFor(static_cast<std::uint32_t>(keep * kBlockBytes), header);
    if (streaming_) {
        sink_.RewriteHead(header, sizeof header);
        RemoveFile(recording_);
        return true;
    }
    // Blocks past the asked length (the stop's partial second, or a fast
    // source's run) go: the file ends with the last asked second.
    if (keep < blocks && !Rewrite(recording_, OffsetOf(keep), header, sizeof header, reason)) {
        return false;
    }
    if (!moved_ && !MoveOnto(recording_, final_, reason)) {
        reason += "; the recording is in '" + recording_.text + "'";
        return false;
    }
    moved_ = true;
    return true;
}

}  // namespace pendrax_host

// Where a recording goes. The module truncates the file it records into
// before it opens the device, so it records into a new file: one beside OUT
// that replaces OUT once capture runs (on Windows, where an open file cannot
// be renamed, at the stop), or, for a stream, a temporary file whose blocks
// are copied out as they land. A start that fails leaves OUT as it was.
#pragma once

#include <cstdint>
#include <string>

#include "PendraxWAVFlanger.h"
#include "Cli.h"
#include "os/FileHandles.h"
#include "os/Files.h"

namespace pendrax_host {

class RecordingTarget {
public:
    explicit RecordingTarget(const Arg& out) : out_(out) {}

    // Makes the file the module records into. On failure prints why and
    // returns the exit status; kExitSuccess otherwise.
    int Prepare();
    // The file to hand to SoundRecorderStart.
    const Arg& ModuleFile() const { return recording_; }
    // The start succeeded; false with the reason when OUT cannot take it.
    bool Started(std::string& reason);
    // The start failed: the new file goes, OUT stays as it was.
    void Abandon();

    // Whole blocks in the recording now.
    long Blocks() const;
    // Reads block `index` (from 0) into `block`; false when it cannot.
    bool ReadBlock(long index, unsigned char (&block)[PENDRAX_BLOCK_BYTES]) const;
    // Copies blocks to the stream up to `limit`; false with the reason when
    // writing fails. Does nothing for a file.
    bool Pump(long limit, std::string& reason);

    // After the stop: keeps the first `keep` blocks, finishes the header and
    // puts the recording in place. False with the reason when that fails.
    bool Finish(long keep, long blocks, std::string& reason);

    bool Streaming() const { return streaming_; }
    // The file whose growth failed, for the reason's probe.
    const Arg& Recording() const { return recording_; }
    // How messages name the destination: 'OUT' or standard output.
    std::string Name() const;
    // The same in the success line: OUT unquoted.
    std::string PlainName() const { return IsStream(out_) ? Name() : out_.text; }

private:
    const Arg& out_;
    Arg final_;
    Arg recording_;
    bool streaming_ = false;
    bool moved_ = false;
    GrowingFile file_;
    StreamSink sink_;
    long streamed_ = 0;
};

}  // namespace pendrax_host

// OUT, for both commands: standard output where it stands ('>>' appends), a
// device or a pipe by name written directly, and a regular file (or a new
// one) through a replacement that puts the new version in its place only
// when it is complete, locked against a second writer meanwhile.
#pragma once

#include "Cli.h"
#include "Os.h"
#include "Replace.h"

namespace pendrax_host {

class Output final : public pendrax::io::Sink {
public:
    enum class Opened { kOpened, kBusy, kFailed };
    // Opens OUT, saying why it cannot.
    Opened Open(const Arg& output);

    pendrax::io::Transfer Write(const void* data, std::size_t size) override;
    bool Seekable() const override { return Current().Seekable(); }
    pendrax::io::OsError WriteAt(std::uint64_t offset, const void* data,
                                 std::size_t size) override {
        return Current().WriteAt(offset, data, size);
    }
    pendrax::io::OsError Truncate(std::uint64_t size) override { return Current().Truncate(size); }

    bool Replacing() const { return replacing_; }
    bool Keeping() const { return keeping_; }
    // Whether nothing was at OUT's name before (the replacement made it).
    bool Created() const { return created_; }
    const FileName& Temporary() const { return replacement_.TemporaryName(); }
    // The file OUT is now, for SameFile against an input.
    NativeFile File() const;
    // From here on, writes go through a second descriptor of the new file,
    // locked as OUT was, so that the file may take OUT's name while it is
    // still written (a recording: a killed host leaves OUT readable) and
    // stay locked against a second writer. Nothing where that cannot be.
    void KeepWriting();
    // Puts the new version in place, once; says why it cannot and returns false.
    bool Commit();
    // Leaves OUT as it was.
    void Abandon() { replacement_.Abandon(); }

    // Writes fail once a stop is asked for: how Windows ends a flange.
    bool endOnStop = false;
    // Replaces a file with other hard links too (they keep the old content).
    bool allowLinks = false;

private:
    const pendrax::platform::FileSink& Current() const;
    pendrax::io::Sink& Current();

    pendrax::platform::Replacement replacement_;
    pendrax::platform::FileSink direct_;
    pendrax::platform::FileSink kept_;
    bool replacing_ = false;
    bool keeping_ = false;
    bool committed_ = false;
    bool commitFailed_ = false;
    bool created_ = false;
    std::string name_;  // OUT as messages give it
};

}  // namespace pendrax_host

// What the host sees of a recording while the recorder writes it: the
// observer the recorder tells of blocks (and their level), losses, the
// device's end, the recording's completion and write failures. The host's
// thread sleeps until one of them, or a stop request, wakes it.
#pragma once

#include <cstdint>
#include <mutex>

#include "Io.h"
#include "Recorder.h"

namespace pendrax_host {

class RecordingNews final : public pendrax::recorder::Observer {
public:
    // What the recording has done, as the host's thread sees it.
    struct State {
        std::uint32_t blocks = 0;
        std::uint64_t framesLost = 0;
        pendrax::recorder::LossCause cause = pendrax::recorder::LossCause::WriterStalled;
        bool deviceEnded = false;
        bool writeFailed = false;
        pendrax::io::OsError error = 0;  // why writing failed
        bool complete = false;           // the recording holds its most blocks
        int peak = -1;                   // the latest block's peak sample, -1 before one
    };

    void OnBlock(const pendrax::recorder::Counts& counts, const std::int16_t* samples) override;
    void OnLoss(const pendrax::recorder::Loss& loss) override;
    void OnDeviceEnd() override;
    void OnComplete() override;
    void OnWriteFailed(pendrax::io::OsError error) override;

    // Waits up to `milliseconds` (-1: no limit) for news or a stop request;
    // news that came since the last wait ends it at once. Then the state.
    State Wait(int milliseconds);

private:
    std::mutex stateLock_;
    std::uint64_t lostSoFar_ = 0;  // the losses told one by one, summed
    State state_;
};

}  // namespace pendrax_host

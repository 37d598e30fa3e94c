// What the host sees of a recording while the recorder writes it: the
// observer the recorder tells of blocks (and their level), losses, the
// device's end, the recording's completion and write failures. The host's
// thread waits on it for news.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "Io.h"
#include "Recorder.h"

namespace pendrax_host {

class Take final : public pendrax::recorder::Observer {
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

    // Waits up to `milliseconds` for news, then tells the state.
    State Wait(int milliseconds);

private:
    void Tell();  // under stateLock_

    std::mutex stateLock_;
    std::condition_variable news_;
    bool fresh_ = false;
    std::uint64_t toldLost_ = 0;
    State state_;
};

}  // namespace pendrax_host

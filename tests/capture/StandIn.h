// What the capture tests script below the services, whichever system's
// stand-in is linked, and the recording file's stall.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <thread>

namespace standin {

// The device captures `samples` more, numbered on from 0 at its open:
// sample k holds k (mod 2^16).
void Produce(std::size_t samples);
// Whether the service has taken all the device captured.
bool Taken();
// Devices the system holds open.
int OpenDevices();
// Whether the system's stream is running.
bool Running();

// Writes to the recording stall while held.
void HoldWrites(bool hold);

// Polls `condition` until true or `seconds` pass.
inline bool WaitFor(const std::function<bool()>& condition, double seconds = 2) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace standin

// How the ALSA stand-in misbehaves, on cue.
#pragma once

#include <cstdarg>

// As the service includes it: alsa-lib misses one C name.
extern "C" {
#include <alsa/asoundlib.h>
}

namespace alsa_standin {

struct Script {
    bool pollDescriptorsFail = false;
    // Reads report the frames asked for and leave the buffer as it was,
    // as ALSA's null device does.
    bool unfilled = false;
    // snd_pcm_resume says -EAGAIN (not yet) until the script changes.
    bool holdResume = false;
    bool openFails = false;  // as for a device name that names none
    // The descriptor is readable only once a period (the time the service
    // asked for) is available, as a hardware device's is.
    bool periods = false;
};

// Sets the script.
void Set(const Script& wanted);
// The system suspends: the stream reports -ESTRPIPE until resumed.
// Time on the stream's clock is the samples produced since the open.
void Suspend();
// The error handler a host set with snd_lib_error_set_handler.
snd_lib_error_handler_t Handler();

}  // namespace alsa_standin

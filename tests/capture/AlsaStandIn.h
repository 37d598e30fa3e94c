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
};

// Sets the script.
void Set(const Script& wanted);
// The system suspends: the stream reports -ESTRPIPE until resumed.
void Suspend();
// The error handler a host set with snd_lib_error_set_handler.
snd_lib_error_handler_t Handler();

}  // namespace alsa_standin

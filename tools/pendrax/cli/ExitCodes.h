// The host's exit statuses, one meaning each. The numbers are documented
// (help, man page), so two meanings may share one.
#pragma once

namespace pendrax_host {

constexpr int kExitSuccess = 0;
constexpr int kExitOpenFailed = 1;        // flange: a file did not open, or OUT is IN
constexpr int kExitUsage = 2;             // the command line was wrong
constexpr int kExitIoFailed = 3;          // flange: reading or writing failed
constexpr int kExitInputRefused = 4;      // flange: the input check refused IN
constexpr int kExitStoppedEarly = 4;      // record: the input stopped or writing failed
constexpr int kExitStartFailedBase = 10;  // record: plus SoundRecorderStart's code

// flange: an interrupt (128 + the signal's number, as a shell reports a
// process the signal ended), and a reader that closed standard output.
constexpr int kExitHangUp = 129;
constexpr int kExitInterrupted = 130;
constexpr int kExitBrokenPipe = 141;
constexpr int kExitTerminated = 143;

}  // namespace pendrax_host

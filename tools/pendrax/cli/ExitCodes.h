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

}  // namespace pendrax_host

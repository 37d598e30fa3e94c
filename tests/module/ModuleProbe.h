// A probe built into a copy of the module, for the load and unload tests:
// it reports the framework stand-in's state as seen from the module's own
// static initialisation and termination, and at any time in between.
#pragma once

#if defined(_WIN32)
#define PENDRAX_PROBE_API __declspec(dllexport)
#else
#define PENDRAX_PROBE_API __attribute__((visibility("default")))
#endif

// Set in the environment before loading, the probe's static initialiser
// makes the framework refuse the module's initialisation.
#define PENDRAX_PROBE_REFUSE "PENDRAX_PROBE_REFUSE"

struct PendraxProbeSnapshot {
    int listsAsLoaded;  // the framework's own classes and factory still at the heads
    int listsParked;    // heads empty, the framework's own lists in the init slots
    int chainLength;
    int registered;  // the module's record initialised and its entry at the chain's head
    void* instance;  // the instance handle the record holds
};

typedef void (*PendraxProbeSink)(const struct PendraxProbeSnapshot* snapshot);

#ifdef __cplusplus
extern "C" {
#endif

// The state when the probe's static initialiser ran.
PENDRAX_PROBE_API void PendraxProbeAtStaticInit(struct PendraxProbeSnapshot* snapshot);
// The state now.
PENDRAX_PROBE_API void PendraxProbeNow(struct PendraxProbeSnapshot* snapshot);
// `sink` receives the state when the probe's static terminator runs.
PENDRAX_PROBE_API void PendraxProbeOnStaticTermination(PendraxProbeSink sink);

#ifdef __cplusplus
}
#endif

// The WAVFlanger export over the core's Flange: names to files, one fixed
// line on standard output, the documented numbers.
#pragma once

#include "Flange.h"
#include "PendraxWAVFlanger.h"

namespace pendrax {

// WAVFlanger with the kernel of one's choice (the export passes
// ApplyFlanger); the benchmarks run the reference kernel through it.
int FlangeFileWith(BlockKernel kernel, const PendraxWideChar* inputPath,
                   const PendraxWideChar* outputPath);

}  // namespace pendrax

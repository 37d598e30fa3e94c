// The sweep's sine, settled where its last bit decides a delay.
#pragma once

namespace pendrax {

// sin(phase). Within 2^-20 of a multiple of pi, where the sweep's delay
// turns on the sine's sign and last bits (every multiple of 8000 samples),
// it is computed here with a proven bound, so every build and processor
// gives the same value; elsewhere it is the platform's std::sin, whose
// error (1e-14 at worst, x87 fsin's 66-bit pi) is far inside the margin
// that FlangerSweep.h proves for every other position.
double SweepSine(double phase);

}  // namespace pendrax

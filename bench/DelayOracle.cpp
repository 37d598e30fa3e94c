// `delay-oracle [LAST]`: the file flanger's delay at each zero of its sine
// (every multiple of 8000 samples) from 0 to LAST (default 2^31 - 1), one
// "position delay" line each, from a correctly rounded sine in quad
// precision. These are the positions where the sine's sign and last bits
// decide the delay; delay-check --decisive compares a build with them. It
// shares no code with the module: the definition's arithmetic is written
// out again here.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// libquadmath's sine, declared here: its header sits in GCC's own include
// directory, which other compilers and tools do not search.
extern "C" __float128 sinq(__float128 x);

int main(int argc, char** argv) {
    const std::int64_t last = argc > 1 ? std::strtoll(argv[1], nullptr, 10) : 2147483647;
    const double rate = 0.5f;
    const double depth = 0.9f;
    const double swing = static_cast<double>(0.005f * 8000.0f);  // a float product, widened
    for (std::int64_t n = 0; n <= last; n += 8000) {
        const double phase = (static_cast<double>(n) * rate) * 0.0007853981633974483;
        const double sine = static_cast<double>(sinq(static_cast<__float128>(phase)));
        const double d = ((sine * depth + 1.0) * swing) * 0.5;
        std::printf("%" PRId64 " %d\n", n, static_cast<int>(d));
    }
    return 0;
}

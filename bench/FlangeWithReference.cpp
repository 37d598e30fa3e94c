// `flange-with-reference IN.wav OUT.wav`: the file flanger exactly as the
// module runs it, but with the straightforward kernel, to compare against.
#include <cstdio>

#include "FlangerExport.h"
#include "FlangerKernel.h"
#include "PendraxWAVFlanger.h"
#include "Utf8.h"

int main(int argc, char** argv) {
    pendrax_host::WidePath input;
    pendrax_host::WidePath output;
    if (argc != 3 || !pendrax_host::Utf8ToWide(argv[1], input) ||
        !pendrax_host::Utf8ToWide(argv[2], output)) {
        std::fprintf(stderr, "usage: flange-with-reference IN.wav OUT.wav (UTF-8 paths)\n");
        return 2;
    }
    const int result =
        pendrax::FlangeFileWith(pendrax::ApplyFlangerReference, input.c_str(), output.c_str());
    return result == PENDRAX_SUCCESS ? 0 : 1;
}

// WAVFlanger on arbitrary file contents: whatever the bytes, it succeeds,
// prints the success message and writes the header and the reference
// kernel's blocks, one byte shorter when a trailing odd byte is dropped.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "PendraxWAVFlanger.h"

namespace {

struct Files {
    std::string input = pendrax_fuzz::ScratchDirectory() + "/in.wav";
    std::string output = pendrax_fuzz::ScratchDirectory() + "/out.wav";
    pendrax_fuzz::WideString wideInput = pendrax_fuzz::Widen(input);
    pendrax_fuzz::WideString wideOutput = pendrax_fuzz::Widen(output);
};

const Files& TheFiles() {
    static const Files files;
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pendrax_fuzz::CaptureStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Files& files = TheFiles();
    pendrax_fuzz::WriteFile(files.input, data, size);
    pendrax_fuzz::ClearStdout();
    const int result = WAVFlanger(files.wideInput.c_str(), files.wideOutput.c_str());
    if (result != PENDRAX_SUCCESS) {
        pendrax_fuzz::Fail("WAVFlanger did not return 999 on a readable input");
    }
    if (pendrax_fuzz::CapturedStdout() != "Flanger effect applied and saved to output.wav\n") {
        pendrax_fuzz::Fail("WAVFlanger printed something other than its success message");
    }
    const pendrax_fuzz::Bytes output = pendrax_fuzz::ReadFile(files.output);
    const std::size_t expectedSize = size < 44 ? 44 : 44 + 2 * ((size - 44) / 2);
    if (output.size() != expectedSize) {
        pendrax_fuzz::Fail("the output's length is not 44 + 2 x floor((length - 44) / 2)");
    }
    if (output != pendrax_fuzz::ExpectedFlangerOutput(data, size)) {
        pendrax_fuzz::Fail("the output differs from the reference transform");
    }
    // The input is never written.
    if (pendrax_fuzz::ReadFile(files.input) != pendrax_fuzz::Bytes(data, data + size)) {
        pendrax_fuzz::Fail("the input changed");
    }
    return 0;
}

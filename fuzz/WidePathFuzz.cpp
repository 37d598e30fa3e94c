// WAVFlanger with arbitrary 16-bit units as a path: unpaired surrogates,
// zeros inside (the path ends at the first), very long names. Whatever the
// units, each call gives a clear result and its own message, and a result
// of 1 or 2 leaves no file behind. The units name an entry of a scratch
// directory: '/' is replaced, so no path can reach outside it.
//
// The narrow conversion is checked on the raw units too: it must be the
// exact UTF-8 form, or empty when there is none.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "Files.h"
#include "FuzzSupport.h"
#include "PendraxWAVFlanger.h"
#include "Utf.h"

namespace {

using pendrax_fuzz::Fail;
using pendrax_fuzz::WideString;

const std::string kSuccess = "Flanger effect applied and saved to output.wav\n";
const std::string kOpenInputFailed = "Failed to open input file.\n";
const std::string kOpenOutputFailed = "Failed to open output file.\n";
const std::string kReadFailed = "Failed to read input file.\n";

bool HasUnpairedSurrogate(const WideString& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return true;
        }
    }
    return false;
}

void CheckNarrowForm(const WideString& units) {
    const std::string narrow = pendrax::platform::WidePathToNarrow(units.c_str());
    const WideString upToZero = units.substr(0, units.find(PendraxWideChar{0}));
    if (upToZero.empty() || HasUnpairedSurrogate(upToZero)) {
        if (!narrow.empty()) {
            Fail("a path with no exact narrow form converted to a name");
        }
        return;
    }
    WideString back;
    if (!pendrax::text::Utf8ToWide(narrow, back) || back != upToZero) {
        Fail("the narrow name is not the exact UTF-8 form of the path");
    }
}

struct Outcome {
    int result;
    std::string printed;
};

Outcome Flange(const PendraxWideChar* input, const PendraxWideChar* output) {
    pendrax_fuzz::ClearStdout();
    const int result = WAVFlanger(input, output);
    return {result, pendrax_fuzz::CapturedStdout()};
}

struct Box {
    std::string directory = pendrax_fuzz::ScratchDirectory() + "/box";
    std::string input = pendrax_fuzz::ScratchDirectory() + "/in.wav";
    std::string output = pendrax_fuzz::ScratchDirectory() + "/out.wav";
    WideString wideInput = pendrax_fuzz::Widen(input);
    WideString wideOutput = pendrax_fuzz::Widen(output);
    Box() {
        const unsigned char header[44] = {'R', 'I', 'F', 'F'};
        pendrax_fuzz::WriteFile(input, header, sizeof header);
        if (::mkdir(directory.c_str(), 0700) != 0) {
            Fail("cannot create the box directory");
        }
    }
};

const Box& TheBox() {
    static const Box box;
    return box;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pendrax_fuzz::CaptureStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WideString units;
    for (std::size_t k = 0; k + 1 < size; k += 2) {
        units.push_back(static_cast<PendraxWideChar>(data[k] | (data[k + 1] << 8)));
    }
    CheckNarrowForm(units);

    const Box& box = TheBox();
    std::replace(units.begin(), units.end(), PendraxWideChar{u'/'}, PendraxWideChar{u'_'});
    const WideString path = pendrax_fuzz::Widen(box.directory + "/") + units;
    const std::string name = pendrax::platform::WidePathToNarrow(path.c_str());

    // As the output: written (999) or refused (1), and a refusal creates nothing.
    const Outcome written = Flange(box.wideInput.c_str(), path.c_str());
    struct stat info = {};
    const bool exists = !name.empty() && ::lstat(name.c_str(), &info) == 0;
    if (written.result == PENDRAX_SUCCESS) {
        if (written.printed != kSuccess || !exists || !S_ISREG(info.st_mode) ||
            info.st_size != 44) {
            Fail("a path reported written does not hold the output");
        }
        ::unlink(name.c_str());
    } else if (written.result == PENDRAX_FLANGER_OPEN_FAILED) {
        if (written.printed != kOpenOutputFailed || (exists && !S_ISDIR(info.st_mode))) {
            Fail("a refused output left a file or the wrong message");
        }
    } else {
        Fail("an output path gave a result other than 999 or 1");
    }

    // As the input (nothing of that name is left): missing (1) or a directory (2).
    const bool isDirectory =
        !name.empty() && ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    const Outcome read = Flange(path.c_str(), box.wideOutput.c_str());
    const bool expected =
        isDirectory
            ? read.result == PENDRAX_FLANGER_IO_FAILED && read.printed == kReadFailed
            : read.result == PENDRAX_FLANGER_OPEN_FAILED && read.printed == kOpenInputFailed;
    if (!expected) {
        Fail("an input path gave the wrong result or message");
    }
    return 0;
}

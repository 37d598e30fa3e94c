#include "cli/Help.h"

#include "PendraxWAVFlanger.h"

// A number as the text of a string literal.
#define PENDRAX_TEXT(number) PENDRAX_TEXT_OF(number)
#define PENDRAX_TEXT_OF(number) #number

namespace pendrax_host {
namespace {

constexpr const char* kHelp =
    "Usage: pendrax [-q] COMMAND [OPTION]... ARGUMENT...\n"
    "Flange 16-bit mono WAV files and record the audio input.\n"
    "\n"
    "Commands:\n"
    "  flange [--force] IN OUT     apply the flanger to IN, writing OUT ('-' for\n"
    "                              standard input or output)\n"
    "  record [-D DEVICE] [--seconds N] OUT\n"
    "                              record 8000 Hz mono 16-bit audio into OUT until\n"
    "                              N seconds pass, Ctrl-C, or the input stops\n"
    "  help [COMMAND]              show this help, or a command's\n"
    "\n"
    "Options:\n"
    "  -q, --quiet                 no success or status lines; errors and warnings\n"
    "                              still print\n"
    "  -h, --help                  show this help; after a command, its own\n"
    "      --version               show the version\n"
    "A long option may be shortened to any prefix that is unique (--sec).\n"
    "\n"
    "Exit status:\n"
    "  0      success\n"
    "  1      flange: a file could not be opened, or OUT is IN (no output written)\n"
    "  2      usage error\n"
    "  3      reading or writing failed (flange: output incomplete)\n"
    "  4      flange: IN refused by the input check (no output written);\n"
    "         record: stopped early, the input stopped or writing failed\n"
    "  11-15  record: the recording did not start (see 'pendrax help record')\n"
    "  129, 130, 143  flange: ended by SIGHUP, Ctrl-C or SIGTERM (output removed)\n"
    "  141    flange: the reader of standard output closed it early\n"
    "\n"
    "Messages go to standard error as 'pendrax: ...'. See pendrax(1).\n";

constexpr const char* kFlangeHelp =
    "Usage: pendrax flange [-q] [--force] IN OUT\n"
    "Apply the flanger (a delay sweeping between 2 and 37 samples, one cycle\n"
    "every 2 s at 8000 Hz) to the WAV file IN, writing OUT. '-' as IN reads\n"
    "standard input, and an IN that is not a regular file (a pipe, a FIFO,\n"
    "/dev/stdin) is read once in the same way; '-' as OUT writes standard\n"
    "output, and the module's status line then goes to standard error.\n"
    "\n"
    "IN is checked first. A canonical WAV (RIFF/WAVE, 16-bit PCM, mono, samples\n"
    "from byte 44) is flanged; at a rate other than 8000 Hz it is flanged with a\n"
    "warning, since the sweep's timing assumes 8000 Hz. Anything else, and a\n"
    "file with chunks after its data, is refused with status 4 and no output,\n"
    "and with a sox command that converts it when sox reads it. Size fields\n"
    "that disagree with IN's length (0, a stream's placeholder, a body cut\n"
    "short) are named in a warning and mended in OUT. From a stream, what\n"
    "follows the data is left out, with a warning.\n"
    "\n"
    "Ctrl-C, SIGTERM or SIGHUP remove an incomplete OUT (standard output is\n"
    "left as it is); a reader that closes standard output early ends the\n"
    "flange quietly with status 141.\n"
    "\n"
    "Options:\n"
    "      --force     flange any input as it is, unchecked, its bytes as the\n"
    "                  module writes them\n"
    "  -q, --quiet     no success or status lines\n"
    "  -h, --help      show this help\n"
    "      --          end of options\n"
    "\n"
    "Exit status: 0 written; 1 a file could not be opened, or OUT is IN (no\n"
    "output); 2 usage error; 3 reading or writing failed (output incomplete);\n"
    "4 IN refused by the check (no output); 129, 130, 143 interrupted by\n"
    "SIGHUP, Ctrl-C, SIGTERM (OUT removed); 141 standard output closed early.\n";

constexpr const char* kRecordHelp =
    "Usage: pendrax record [-q] [-D DEVICE] [--seconds N] OUT\n"
    "Record the audio input at 8000 Hz, mono, 16-bit into the WAV file OUT in\n"
    "one-second blocks, until it holds N seconds of audio, Ctrl-C, SIGTERM or\n"
    "SIGHUP (Ctrl-Break or closing the console on Windows), no block has arrived\n"
    "for 3 s, or writing fails. The header is finished in every case, and OUT is\n"
    "replaced only once capture runs. '-' as OUT (or a pipe) takes a WAV stream.\n"
    "On a terminal a live line shows the seconds written and the level.\n"
    "\n"
    "Options:\n"
    "  -D, --device=DEVICE   the ALSA capture device (Linux; default:\n"
    "                        $PENDRAX_CAPTURE_DEVICE, else 'default')\n"
    "  -d, --seconds=N       stop at exactly N seconds (1 to " PENDRAX_TEXT(PENDRAX_MAX_BLOCKS) ")\n"
    "  -q, --quiet           no live line and no success line\n"
    "  -h, --help            show this help\n"
    "      --                end of options\n"
    "\n"
    "Exit status: 0 recorded; 2 usage error; 4 stopped early: no audio arrived\n"
    "for 3 s (the device stopped, or writing stalled), writing OUT failed, or the\n"
    "WAV size limit was reached, the blocks so far kept; 11 the capture device\n"
    "did not open; 12 the capture buffer was not queued; 13 capture did not\n"
    "start; 14 OUT could not be created or written; 15 a recording is already in\n"
    "progress.\n";

}  // namespace

bool PrintHelp(const std::string& command, std::FILE* stream) {
    const char* text = nullptr;
    if (command.empty()) {
        text = kHelp;
    } else if (command == "flange") {
        text = kFlangeHelp;
    } else if (command == "record") {
        text = kRecordHelp;
    } else {
        return false;
    }
    (void)std::fputs(text, stream);
    return true;
}

}  // namespace pendrax_host

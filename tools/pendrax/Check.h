// The flange's input check, told to the user: what the core's header walk
// found, the refusal of an input the flanger would misread (with the sox
// command that converts it when sox reads it), and the warnings for another
// rate and for sizes that disagree with the input's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Cli.h"
#include "WavWalk.h"

namespace pendrax_host {

// The shell a suggested command is quoted for.
enum class Shell { Posix, Cmd };

#if defined(_WIN32)
constexpr Shell kHostShell = Shell::Cmd;
#else
constexpr Shell kHostShell = Shell::Posix;
#endif

// One word for the shell, quoted when it needs it.
std::string ForShell(const std::string& text, Shell shell);

// The sox command that converts the input to what the flanger reads, for an
// input of sox's type `soxType`; `stream` when it cannot be read again by
// name (standard input, a pipe).
std::string SoxCommand(const Arg& input, bool stream, const std::string& soxType, Shell shell);

// "16-bit PCM", "IMA ADPCM": a format tag as people name it.
std::string FormatName(unsigned tag, unsigned bits);
// "a 16", "an 18": the number with its article.
std::string WithArticle(std::size_t number);

// Sets a canonical header's two sizes (its first 44 bytes) for `dataBytes`.
void MendSizes(unsigned char* header, std::uint64_t dataBytes);

// What the input check decided, and what the flange needs from it.
struct CheckedInput {
    pendrax::wav::HeaderWalk walk;
    pendrax::wav::SizeCheck sizes;
    // The header sizes are wrong and the header the flange copies is mended.
    bool mended = false;
    // Where the input's samples end, for a stream whose header gives it:
    // what follows is left out. ~0 for "to the end".
    std::uint64_t limit = ~std::uint64_t{0};
};

// Judges the first `count` bytes of the input (`length` bytes long, or
// wav::kUnknownLength for a stream), says what it refuses or warns of, and
// mends `head`'s sizes where they disagree with the length. `trailer` gives
// the bytes at sizes.trailingAt, for a file with bytes after its data.
// Returns kExitSuccess to flange, else kExitInputRefused.
int CheckInput(const Arg& input, bool stream, unsigned char* head, std::size_t count,
               std::uint64_t length, const unsigned char* trailer, std::size_t trailerCount,
               CheckedInput& in);

// Says what a stream showed only at its end: a body shorter than its header
// gave, or `leftOut` bytes after its data (their first bytes in `after`).
void WarnStreamEnd(const Arg& input, const CheckedInput& in, std::uint64_t passed,
                   std::uint64_t leftOut, const unsigned char* after, std::size_t afterCount);

}  // namespace pendrax_host

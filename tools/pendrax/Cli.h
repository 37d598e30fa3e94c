// The command line: arguments, options, help texts and the exit statuses.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "Utf8.h"

namespace pendrax_host {

// One command-line argument: its text for messages and options (UTF-8 on
// Windows), and on Windows the UTF-16 form files are opened by.
struct Arg {
    std::string text;
    WidePath wide;
};
using Args = std::vector<Arg>;

// "-": standard input or output, by its place on the command line.
inline bool IsStream(const Arg& arg) { return arg.text == "-"; }

// The exit statuses. Cli.cpp's table says what each means, for the help
// texts; the manual's table is checked against them (host.docs).
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitOpenFailed = 1,        // flange: a file did not open, or OUT is IN
    kExitUsage = 2,             // the command line was wrong
    kExitIoFailed = 3,          // reading or writing failed
    kExitInputRefused = 4,      // flange: the input check refused IN
    kExitStoppedEarly = 4,      // record: the device ended or writing failed
    kExitAudioLost = 5,         // record: finished, but audio was lost on the way
    kExitStartFailedBase = 10,  // record: plus the recorder's start code (1-5)
    kExitHangUp = 129,          // 128 + the signal, as a shell reports it
    kExitInterrupted = 130,
    kExitBrokenPipe = 141,  // the reader of standard output closed it
    kExitTerminated = 143,
};

// One option a command takes: its short letter (0 for none), its long name
// ("--seconds"), and whether it takes a value.
struct OptionSpec {
    char letter;
    const char* name;
    bool takesValue;
};

// Walks arguments as getopt_long does: "-" is an operand, "--" ends the
// options, every other argument that starts with '-' is an option, short
// options bundle ("-qD null", "-qDnull"), a long one may be any unique
// prefix ("--sec"), and only an option that takes a value accepts "=VALUE".
class OptionScanner {
public:
    OptionScanner(const Args& args, std::initializer_list<OptionSpec> specs, std::size_t first = 0)
        : args_(args), specs_(specs), index_(first) {}
    // Moves to the next option or operand; false after the last.
    bool Next();
    // The current item: an option (its long name) or an operand.
    bool IsOption() const { return spec_ != nullptr; }
    bool Is(const char* name) const;
    const std::string& Value() const { return value_; }
    const Arg& Operand() const { return args_[operand_]; }
    std::size_t OperandIndex() const { return operand_; }
    // Why the current argument cannot be read (unknown, ambiguous, a value
    // missing or not allowed), or "".
    const std::string& Problem() const { return problem_; }

private:
    bool NextLong(const std::string& text);
    bool NextShort(const std::string& text);
    const Args& args_;
    std::vector<OptionSpec> specs_;
    std::size_t index_;
    std::size_t cluster_ = 0;  // the next letter of a short-option bundle, or 0
    bool optionsEnded_ = false;
    const OptionSpec* spec_ = nullptr;
    std::size_t operand_ = 0;
    std::string value_;
    std::string problem_;
};

// printf to standard error, each message a line "pendrax: ...".
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
// NOLINTNEXTLINE(cert-dcl50-cpp)
void Say(const char* format, ...);

// Prints "pendrax: PROBLEM" and the pointer to the help; returns kExitUsage.
int UsageError(const std::string& problem);

// "cannot VERB input NAME: REASON", VERB being "open" or "read".
void CannotInput(const char* verb, const Arg& input, const std::string& reason);

// How messages name a file the user gave: "standard input" or 'PATH'.
std::string InputName(const Arg& arg);
std::string OutputName(const Arg& arg);

// Prints the help for a command ("" for the whole host) on standard
// output; false when there is no such command.
bool PrintHelp(const std::string& command);
// The short usage a run without arguments prints on standard error.
void PrintUsage();
const char* Version();

// -q: no success or status lines (errors and warnings still print).
void SetQuiet(bool quiet);
bool Quiet();

}  // namespace pendrax_host

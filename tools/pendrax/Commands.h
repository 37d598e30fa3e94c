// The host's subcommands. Each takes the arguments after its name and
// returns the process's exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "System.h"

namespace pendrax_host {

// Exit statuses shared by the commands (record adds 11 to 15).
constexpr int kExitSuccess = 0;
constexpr int kExitOpenFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIoFailed = 3;
constexpr int kExitRefused = 4;  // flange: input refused; record: stopped early

using Args = std::vector<Arg>;

int RunFlange(const Args& args);
int RunRecord(const Args& args);

// Prints "pendrax: PROBLEM" and the pointer to the help on standard error;
// returns kExitUsage.
int UsageError(const std::string& problem);

// Prints the help for a command ("" for the whole host); false when there
// is no such command.
bool PrintHelp(const std::string& command, std::FILE* stream);

// Walks a command's arguments as getopt_long does: "-" is an operand, "--"
// ends the options, and every other argument that starts with '-' is an
// option, never a file name.
class OptionScanner {
public:
    explicit OptionScanner(const Args& args) : args_(args) {}
    // Moves to the next argument; false after the last.
    bool Next();
    bool IsOption() const { return option_; }
    // The option as written up to any '=' ("--seconds", "-D", "-Dhw:1").
    const std::string& Name() const { return name_; }
    // True for "-X", "-XVALUE", "--long" or "--long=VALUE" forms of an option.
    bool Is(const char* shortName, const char* longName) const;
    // The option's value: after '=', the rest of a short option, or the next
    // argument. False when there is none.
    bool TakeValue(std::string& value);
    const Arg& Operand() const { return args_[index_]; }

private:
    const Args& args_;
    std::size_t index_ = 0;
    bool started_ = false;
    bool optionsEnded_ = false;
    bool option_ = false;
    std::string name_;
};

}  // namespace pendrax_host

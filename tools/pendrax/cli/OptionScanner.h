// The walk over a command's options.
#pragma once

#include <cstddef>
#include <string>

#include "cli/Args.h"

namespace pendrax_host {

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

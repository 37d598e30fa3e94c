// The walk over a command's options.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/Args.h"

namespace pendrax_host {

// Walks a command's arguments as getopt_long does: "-" is an operand, "--"
// ends the options, and every other argument that starts with '-' is an
// option, never a file name.
class OptionScanner {
public:
    // `longNames` are the command's long options: a unique prefix of one
    // stands for it ("--sec" for "--seconds").
    explicit OptionScanner(const Args& args, std::initializer_list<const char*> longNames = {})
        : args_(args), longNames_(longNames.begin(), longNames.end()) {}
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
    // Why the current option cannot be read ("option '--s' is ambiguous; ..."),
    // or "".
    const std::string& Problem() const { return problem_; }

private:
    const Args& args_;
    std::size_t index_ = 0;
    bool started_ = false;
    bool optionsEnded_ = false;
    bool option_ = false;
    std::string name_;
    std::vector<std::string> longNames_;
    std::string problem_;
};

// The long option `name` stands for among `longNames`: itself, or the one
// it is a unique prefix of; else `name`, with `problem` naming the
// candidates when there are several.
std::string ExpandLongOption(const std::string& name, const std::vector<std::string>& longNames,
                             std::string& problem);

}  // namespace pendrax_host

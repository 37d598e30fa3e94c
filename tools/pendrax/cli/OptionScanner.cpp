#include "cli/OptionScanner.h"

namespace pendrax_host {

bool OptionScanner::Next() {
    index_ = started_ ? index_ + 1 : 0;
    started_ = true;
    if (index_ >= args_.size()) {
        return false;
    }
    const std::string& text = args_[index_].text;
    if (!optionsEnded_ && text == "--") {
        optionsEnded_ = true;
        return Next();
    }
    option_ = !optionsEnded_ && text.size() > 1 && text[0] == '-';
    name_ = option_ ? text.substr(0, text.find('=')) : std::string();
    problem_.clear();
    if (option_ && name_[1] == '-') {
        name_ = ExpandLongOption(name_, longNames_, problem_);
    }
    return true;
}

std::string ExpandLongOption(const std::string& name, const std::vector<std::string>& longNames,
                             std::string& problem) {
    std::vector<std::string> candidates;
    for (const std::string& longName : longNames) {
        if (longName == name) {
            return name;
        }
        if (longName.compare(0, name.size(), name) == 0) {
            candidates.push_back(longName);
        }
    }
    if (candidates.size() == 1) {
        return candidates[0];
    }
    if (candidates.size() > 1) {
        problem = "option '" + name + "' is ambiguous; possibilities:";
        for (const std::string& candidate : candidates) {
            problem += " '" + candidate + "'";
        }
    }
    return name;
}

bool OptionScanner::Is(const char* shortName, const char* longName) const {
    if (!option_) {
        return false;
    }
    if (longName != nullptr && name_ == longName) {
        return true;
    }
    // A short option may carry its value: -Dhw:1, -d5.
    return shortName != nullptr && name_.compare(0, 2, shortName) == 0 && name_[1] != '-';
}

bool OptionScanner::TakeValue(std::string& value) {
    const std::string& text = args_[index_].text;
    if (name_.size() > 2 && name_[1] != '-') {
        value = text.substr(2);
        return true;
    }
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos && name_[1] == '-') {
        value = text.substr(equals + 1);
        return true;
    }
    if (index_ + 1 >= args_.size()) {
        return false;
    }
    value = args_[++index_].text;
    return true;
}

}  // namespace pendrax_host

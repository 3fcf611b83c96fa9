// The viewer's command line. Every option has a SOMBRELLA_* environment form;
// parsing turns both into one set of environment settings (the option wins),
// which the platform parts read as knobs. The program itself gets no command
// line.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sombrella::options {

struct Parsed {
    enum class Action { Run, Help, Version, Error } action = Action::Run;
    std::string error;  // one line, naming the option or value (Action::Error)
    // Environment settings to apply before the program starts, in order.
    std::vector<std::pair<std::string, std::string>> env;
};

// getenv is injectable so tests need not touch the process environment.
using Getenv = const char* (*)(const char* name);

Parsed Parse(int argc, const char* const* argv, Getenv getenv);

// The usage line, and the whole help text (every option and knob with defaults).
const char* UsageLine();
std::string HelpText();
const char* Version();

}  // namespace sombrella::options

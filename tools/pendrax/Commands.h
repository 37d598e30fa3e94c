// The host's subcommands. Each takes the arguments after its name and
// returns the process's exit status.
#pragma once

namespace pendrax_host {

// Exit statuses shared by every command.
constexpr int kExitSuccess = 0;
constexpr int kExitUsage = 2;

int RunFlange(int argc, char** argv);
int RunRecord(int argc, char** argv);

// Prints the usage text to standard error and returns kExitUsage.
int UsageError(const char* problem);

}  // namespace pendrax_host

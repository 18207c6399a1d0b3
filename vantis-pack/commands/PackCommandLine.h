#pragma once
// vantis-pack's command line: the subcommands, their options and their help texts.

#include <string>
#include <vector>

#include "vantis-pack/report/CommandOutput.h"

// What `vantis-pack --version` shows: the project's version, from CMakeLists.txt.
constexpr char kPackToolVersion[] = VANTIS_VERSION;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the command ran and found a problem, or could not finish
constexpr int kExitUsage = 2;    // the command line itself is wrong

// Runs one command. `arguments` are UTF-8 and exclude the program name. Help goes to
// `out`; usage errors and failures to `err`.
int RunPackTool(const std::vector<std::string>& arguments, CommandOutput& output);

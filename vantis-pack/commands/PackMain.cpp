// vantis-pack: the publisher's tool that builds patch installers and inspects them.

#include <exception>
#include <iostream>

#include "vantis-pack/host/HostSystem.h"
#include "vantis-pack/host/Interruption.h"
#include "vantis-pack/commands/PackCommandLine.h"
#include "vantis-pack/report/Progress.h"

int main(int argc, char** argv) {
  PrepareConsoleOutput();
  InstallInterruptionCleanup();
  CommandOutput output{std::cout, std::cerr, ProgressTerminal()};
  int status = kExitFailure;
  try {
    status = RunPackTool(GetCommandLineArguments(argc, argv), output);
  } catch (const std::exception& failure) {
    // Out of memory or a path the system cannot represent; the command's staged files are
    // already deleted by the time this runs.
    std::cerr << "vantis-pack: error: " << failure.what() << "\n";
  }
  std::cout.flush();
  return status;
}

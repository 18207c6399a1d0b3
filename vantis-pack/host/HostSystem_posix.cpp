#include "vantis-pack/host/HostSystem.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

std::vector<std::string> GetCommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void PrepareConsoleOutput() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

std::filesystem::path GetOwnExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

bool FillSecureRandom(uint8_t* data, size_t length) {
  size_t filled = 0;
  while (filled < length) {
    // Blocks only until the pool is first seeded; after that it never runs dry.
    const ssize_t got = ::getrandom(data + filled, length - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<size_t>(got);
  }
  return true;
}

bool ResolveRealPath(const std::filesystem::path& path, std::filesystem::path& realPath) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  if (!resolved) return false;
  realPath = resolved.get();
  return true;
}

// Resolving every item would read each component of its path as a link again.
bool ResolveRealPathInFolder(const std::filesystem::path& realFolder,
                             const std::filesystem::path& path, bool isLink,
                             std::filesystem::path& realPath) {
  if (isLink) return ResolveRealPath(path, realPath);
  realPath = realFolder / path.filename();
  return true;
}

#include "FuzzTarget.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct FuzzFile {
  int descriptor = -1;
  std::string path;
};

// A memory file where the system has them: no disk traffic per input and nothing left
// behind when a crash ends the process. Opening its /proc path gives the reader a handle
// with a position of its own, as opening a real file would. Elsewhere a file in TMPDIR.
FuzzFile CreateFuzzFile() {
  FuzzFile file;
  file.descriptor = memfd_create("vantis-fuzz", MFD_CLOEXEC);
  if (file.descriptor >= 0) {
    file.path = "/proc/self/fd/" + std::to_string(file.descriptor);
    if (::access(file.path.c_str(), R_OK) == 0) return file;
    ::close(file.descriptor);
  }
  const char* folder = std::getenv("TMPDIR");
  file.path = std::string(folder && *folder ? folder : "/tmp") + "/vantis-fuzz-" +
              std::to_string(::getpid()) + ".bin";
  file.descriptor = ::open(file.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file.descriptor < 0) {
    std::perror(file.path.c_str());
    std::abort();
  }
  // Copied out: the handler runs after the static that holds `file` has been destroyed.
  static char removedPath[4096];
  std::snprintf(removedPath, sizeof removedPath, "%s", file.path.c_str());
  std::atexit([] { ::unlink(removedPath); });
  return file;
}

const FuzzFile& TheFuzzFile() {
  static const FuzzFile file = CreateFuzzFile();
  return file;
}

}  // namespace

const NativePath& FuzzFilePath() { return TheFuzzFile().path; }

void WriteFuzzFile(const void* data, size_t size) {
  const int descriptor = TheFuzzFile().descriptor;
  if (::ftruncate(descriptor, 0) != 0) {
    std::perror("ftruncate");
    std::abort();
  }
  const auto* bytes = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    const ssize_t result = ::pwrite(descriptor, bytes + written, size - written,
                                    static_cast<off_t>(written));
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) {
      std::perror("pwrite");
      std::abort();
    }
    written += static_cast<size_t>(result);
  }
}

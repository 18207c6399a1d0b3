#include "TempFile.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

std::string TempFolder() {
#ifdef _WIN32
  char buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, length);
#else
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/";
#endif
}

int ProcessId() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(getpid());
#endif
}

}  // namespace

TempFile::TempFile(const std::string& contents) {
  static std::atomic<int> counter{0};
  std::ostringstream name;
  name << TempFolder() << "vantis-test-" << ProcessId() << "-" << counter++ << ".bin";
  path_ = name.str();
  Write(contents);
}

TempFile::~TempFile() { std::remove(path_.c_str()); }

void TempFile::Write(const std::string& contents) const {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string TempFile::Read() const {
  std::ifstream in(path_, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

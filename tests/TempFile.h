#pragma once
// Files for tests: a unique path in the system's temporary folder, removed afterwards.

#include <string>

#include "platform/File.h"

// The temporary folder's paths and the tests' names are ASCII, which widen byte for byte.
inline NativePath ToNativePath(const std::string& ascii) {
  return NativePath(ascii.begin(), ascii.end());
}

class TempFile {
 public:
  explicit TempFile(const std::string& contents = std::string());
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& Path() const { return path_; }
  // The same path for the file layer.
  NativePath Native() const { return ToNativePath(path_); }
  void Write(const std::string& contents) const;
  std::string Read() const;

 private:
  std::string path_;
};

#pragma once
// Files for tests: a unique path in the system's temporary folder, removed afterwards.

#include <string>

class TempFile {
 public:
  explicit TempFile(const std::string& contents = std::string());
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& Path() const { return path_; }
  void Write(const std::string& contents) const;
  std::string Read() const;

 private:
  std::string path_;
};

// Replays fuzz inputs without libFuzzer, for compilers that have none (g++, the 32-bit
// build): every file named on the command line and every file in every folder named
// there, through FuzzOne. Fails when a path is missing or nothing was replayed, so that a
// misnamed corpus cannot pass unnoticed; a broken property aborts inside FuzzOne.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTarget.h"

namespace fs = std::filesystem;

namespace {

bool CollectInputs(const fs::path& path, std::vector<fs::path>& inputs) {
  std::error_code failure;
  if (fs::is_regular_file(path, failure)) {
    inputs.push_back(path);
    return true;
  }
  if (!fs::is_directory(path, failure)) return false;
  std::vector<fs::path> files;
  for (const fs::directory_entry& item : fs::directory_iterator(path, failure)) {
    if (item.is_regular_file(failure)) files.push_back(item.path());
  }
  if (failure) return false;
  // A fixed order makes a failing replay repeat the same way.
  std::sort(files.begin(), files.end());
  inputs.insert(inputs.end(), files.begin(), files.end());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (!CollectInputs(argv[i], inputs)) {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 1;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s FILE-OR-FOLDER...  (nothing to replay)\n", argv[0]);
    return 1;
  }

  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)),
                            std::istreambuf_iterator<char>());
    if (in.bad()) {
      std::fprintf(stderr, "%s: cannot be read\n", input.string().c_str());
      return 1;
    }
    const std::string name = input.string();
    FuzzInputName = name.c_str();
    FuzzOne(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  FuzzInputName = nullptr;
  std::printf("%s: %zu inputs replayed\n", argv[0], inputs.size());
  return 0;
}

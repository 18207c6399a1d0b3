#pragma once
// What the vantis-pack tests share: a stub program to build onto, a source tree beside its
// output, and the commands run as the program runs them, their text captured.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "FakeSignature.h"
#include "package/PackageIndex.h"
#include "vantis-pack/commands/BuildInstaller.h"
#include "vantis-pack/report/CommandOutput.h"
#include "vantis-pack/commands/InspectInstaller.h"

namespace packtest {

namespace fs = std::filesystem;

inline const std::string kKeyHex = "00112233445566778899aabbccddeeff";
struct ProgramShape {
  uint16_t machine = 0x014C;  // 32-bit x86
  uint16_t subsystem = 2;     // Windows GUI
  std::vector<std::pair<uint32_t, uint32_t>> resources = {{5, 100}, {14, 100}};  // (type, id)
  std::string entryKinds;  // non-empty: an entry-kinds resource (RCDATA 200) with this text
};

// Headers of a Windows program as Microsoft's PE/COFF description lays them out, with one
// resource section of the given (type, id) resources, each with one language. No code:
// the packer reads the headers only.
inline std::string MakeProgram(const ProgramShape& shape) {
  const bool pe32Plus = shape.machine == 0x8664;  // x86-64 programs have the wider header
  const uint32_t optionalLength = pe32Plus ? 240 : 224;
  const uint32_t directories = pe32Plus ? 112 : 96;
  const uint32_t peOffset = 0x40;
  const uint32_t sectionTable = peOffset + 24 + optionalLength;
  const uint32_t rawOffset = 0x200;
  const uint32_t rva = 0x1000;
  std::vector<std::pair<uint32_t, uint32_t>> resources = shape.resources;
  if (!shape.entryKinds.empty()) resources.emplace_back(10, 200);
  const auto count = static_cast<uint32_t>(resources.size());
  std::string tree(16 + 8 * count + 64 * count, '\0');
  fake_pe::Store16(tree, 14, count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t base = 16 + 8 * count + 64 * i;  // type, id and language levels, data
    fake_pe::Store32(tree, 16 + 8 * i, resources[i].first);
    fake_pe::Store32(tree, 20 + 8 * i, base | 0x80000000u);
    fake_pe::Store16(tree, base + 14, 1);
    fake_pe::Store32(tree, base + 16, resources[i].second);
    fake_pe::Store32(tree, base + 20, (base + 24) | 0x80000000u);
    fake_pe::Store16(tree, base + 24 + 14, 1);
    fake_pe::Store32(tree, base + 24 + 16, 0x0804);
    fake_pe::Store32(tree, base + 24 + 20, base + 48);
    fake_pe::Store32(tree, base + 48, rva);  // the data entry: an empty resource
  }
  if (!shape.entryKinds.empty()) {  // the last resource's data, after the tree
    const uint32_t base = 16 + 8 * count + 64 * (count - 1);
    fake_pe::Store32(tree, base + 48, rva + static_cast<uint32_t>(tree.size()));
    fake_pe::Store32(tree, base + 52, static_cast<uint32_t>(shape.entryKinds.size()));
    tree += shape.entryKinds;
  }
  std::string program(rawOffset, '\0');
  program[0] = 'M';
  program[1] = 'Z';
  fake_pe::Store32(program, 0x3C, peOffset);
  program.replace(peOffset, 4, std::string("PE\0\0", 4));
  fake_pe::Store16(program, peOffset + 4, shape.machine);
  fake_pe::Store16(program, peOffset + 6, 1);      // sections
  fake_pe::Store16(program, peOffset + 20, optionalLength);
  fake_pe::Store16(program, peOffset + 22, 0x0102);  // executable, 32-bit
  const uint32_t optional = peOffset + 24;
  fake_pe::Store16(program, optional, pe32Plus ? 0x020B : 0x010B);
  fake_pe::Store16(program, optional + 68, shape.subsystem);
  fake_pe::Store32(program, optional + directories - 4, 16);
  fake_pe::Store32(program, optional + directories + 16, rva);
  fake_pe::Store32(program, optional + directories + 20, static_cast<uint32_t>(tree.size()));
  program.replace(sectionTable, 5, ".rsrc");
  fake_pe::Store32(program, sectionTable + 8, static_cast<uint32_t>(tree.size()));
  fake_pe::Store32(program, sectionTable + 12, rva);
  fake_pe::Store32(program, sectionTable + 16, static_cast<uint32_t>(tree.size()));
  fake_pe::Store32(program, sectionTable + 20, rawOffset);
  return program + tree;
}

inline const std::string kStub = MakeProgram(ProgramShape());

// The stub followed by other bytes, as a program's sections would follow its headers.
inline std::string StubOfLength(size_t length) {
  return kStub + std::string(length - kStub.size(), 'h');
}
// "1.0.5 <= 1.0.4", then 补丁 and 修复 in UTF-8, and as the installer must get them.
inline const std::string kUtf8Manifest =
    "1.0.5 <= 1.0.4\n\xE8\xA1\xA5\xE4\xB8\x81 \xE4\xBF\xAE\xE5\xA4\x8D\n";
inline const std::string kCp936Manifest = "1.0.5 <= 1.0.4\n\xB2\xB9\xB6\xA1 \xD0\xDE\xB8\xB4\n";
// What build stores of either: line ends as Windows' edit control breaks them.
inline const std::string kStoredManifest =
    "1.0.5 <= 1.0.4\r\n\xB2\xB9\xB6\xA1 \xD0\xDE\xB8\xB4\r\n";

class TempFolder {
 public:
  TempFolder() {
    static const unsigned run = std::random_device{}();
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("vantis-pack-test-" + std::to_string(run) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

inline void WriteFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(item.path(), folder).generic_u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Varied bytes, so that misplaced chunks cannot compare equal.
inline std::string Pattern(size_t length, unsigned seed) {
  std::string bytes(length, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

struct Outcome {
  bool ok = false;
  std::string out;
  std::string err;  // notices and the error text
};

// A source tree with its stub and output beside it.
struct Workspace {
  TempFolder folder;
  fs::path source = folder.Path() / "patch";
  fs::path output = folder.Path() / "out" / "installer.exe";
  fs::path stub = folder.Path() / "stub.exe";

  Workspace() {
    fs::create_directories(source);
    fs::create_directories(output.parent_path());
    WriteFile(stub, kStub);
  }
  void Add(const std::string& name, const std::string& content) const {
    WriteFile(source / fs::u8path(name), content);
  }
  BuildOptions Options() const {
    BuildOptions options;
    options.sourceFolder = source;
    options.outputPath = output;
    options.stubPath = stub;
    std::string error;
    EXPECT_TRUE(ParseKeyHex(kKeyHex, options.key, error));
    return options;
  }
};

template <typename Command>
inline Outcome RunCommand(Command command) {
  std::ostringstream out;
  std::ostringstream err;
  CommandOutput output{out, err, nullptr};
  std::string error;
  Outcome outcome;
  outcome.ok = command(output, error);
  outcome.out = out.str();
  outcome.err = err.str() + error;
  return outcome;
}

inline Outcome Build(const BuildOptions& options) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return BuildInstaller(options, output, error);
  });
}
inline Outcome List(const fs::path& installer) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return ListInstaller(installer, output, error);
  });
}
inline Outcome Verify(const fs::path& installer) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return VerifyInstaller(installer, output, error);
  });
}
inline Outcome Extract(const fs::path& installer, const fs::path& folder,
                const std::vector<std::string>& names = {}) {
  return RunCommand([&](CommandOutput& output, std::string& error) {
    return ExtractInstaller(installer, folder, output, error, names);
  });
}

inline std::string StoredEntry(const fs::path& installer, const std::string& name) {
  std::string content;
  const PackageEntry* entry = OpenPackage(installer.native()) ? FindPackageEntry(name) : nullptr;
  if (!entry || !ReadEntry(*entry, content)) ADD_FAILURE() << "cannot read " << name;
  return content;
}

}  // namespace packtest

// Writes the seed corpora under a folder, one subfolder per fuzzer: small installers and
// streams made by our writer, and the manifests, version files and names the installer
// meets. Run once when a fuzzer's input changes; the output is committed as fuzz/corpus.
//
//   vantis_fuzz_seeds fuzz/corpus

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeSignature.h"
#include "app/game/GameVersion.h"
#include "delta/DeltaEncoder.h"
#include "package/PackageContainer.h"
#include "support/PackageFixture.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "sixteen byte key";

bool failed = false;

void WriteSeed(const fs::path& folder, const std::string& name, const std::string& bytes) {
  fs::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "%s: cannot be written\n", (folder / name).c_str());
    failed = true;
  }
}

std::string LittleEndian32(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
  return bytes;
}

PackageLayout SmallInstaller() {
  PackageLayout layout;
  layout.host = "MZ host program";
  layout.key = kKey;
  layout.records = {
      MakeContentRecord("config.txt", "1.0.5 <= 1.0.4\nNotes.\n"),
      MakeContentRecord("Bin/renderer.cfg", "quality=high\n"),
      MakeContentRecord("Data/ui/empty.flag", ""),
      MakeContentRecord("Data/maps/desert/tiles.txt", std::string(100, 't')),
  };
  layout.records.back().chunkPlainLengths = {40, 0, 60};
  layout.directoryChunkRecordCounts = {2, 2};
  return layout;
}

void WritePackageSeeds(const fs::path& folder) {
  PackageLayout layout = SmallInstaller();
  WriteSeed(folder, "installer", BuildPackage(layout));
  layout.integrity = true;
  WriteSeed(folder, "installer-with-integrity", BuildPackage(layout));
  layout.integrity = false;

  layout.regionOrder = {PackageRegion::kHeader, PackageRegion::kDirectory,
                        PackageRegion::kEntryData};
  layout.records.push_back(MakeRemovalMarker("Bin/renderer.cfg"));
  layout.directoryChunkRecordCounts.clear();
  WriteSeed(folder, "header-first-with-removal", BuildPackage(layout));

  PackageLayout empty;
  empty.host = "MZ";
  empty.key = std::string(kMaxKeyLength, 'k');
  WriteSeed(folder, "empty-directory-longest-key", BuildPackage(empty));
  WriteSeed(folder, "three-bytes", "abc");

  PackageLayout pe = SmallInstaller();
  pe.host = MakePeHost(500);
  WriteSeed(folder, "signed-installer", SignForTest(BuildPackage(pe), 64));
}

// Signed with each amount of padding, unsigned, and with entries that name no table.
void WritePackageEndSeeds(const fs::path& folder) {
  PackageLayout layout = SmallInstaller();
  for (size_t extra = 0; extra < 8; extra += 3) {
    layout.host = MakePeHost(500 + extra);
    const std::string installer = BuildPackage(layout);
    WriteSeed(folder, "signed-" + std::to_string(extra), SignForTest(installer, 16));
    if (extra == 0) WriteSeed(folder, "unsigned-pe", installer);
  }
  std::string misaligned = SignForTest(MakePeHost(600), 16);
  SetSecurityEntry(misaligned, static_cast<uint32_t>(misaligned.size() - 12), 12);
  WriteSeed(folder, "misaligned-table", misaligned);
  std::string wrapping = SignForTest(MakePeHost(600), 16);
  SetSecurityEntry(wrapping, 0xFFFFFFF8u, static_cast<uint32_t>(wrapping.size() + 8));
  WriteSeed(folder, "wrapping-table", wrapping);
}

void WriteDirectorySeeds(const fs::path& folder) {
  PackageEntry fields;
  fields.offset = 16;
  fields.size = 24;
  fields.aux1 = 1;
  fields.aux2 = 2;
  fields.aux3 = 3;
  const std::string config = EncodeDirectoryRecord("config.txt", fields);
  const std::string nested = EncodeDirectoryRecord("Data/maps/desert/tiles.txt", fields);
  PackageEntry removal;
  removal.offset = 0x80000000u;
  WriteSeed(folder, "one-chunk", config + nested);
  WriteSeed(folder, "two-chunks-removal",
            config + "|chunk|" + nested + EncodeDirectoryRecord("config.txt", removal));
  WriteSeed(folder, "empty-name", EncodeDirectoryRecord("", fields));
  WriteSeed(folder, "record-cut", config.substr(0, config.size() - 1));
}

void WriteEntryStreamSeeds(const fs::path& folder) {
  const std::string content = "entry content that spans a few blocks";
  WriteSeed(folder, "one-chunk", LittleEndian32(37) + EncodeEntryStream(kKey, content, {}));
  WriteSeed(folder, "chunks-with-empty",
            LittleEndian32(37) + EncodeEntryStream(kKey, content, {0, 5, 0, 32}));
  WriteSeed(folder, "past-size", LittleEndian32(10) + EncodeEntryStream(kKey, content, {}));
  WriteSeed(folder, "cut-short", LittleEndian32(100) + EncodeEntryStream(kKey, content, {}));
  WriteSeed(folder, "limits", LittleEndian32(1) + EncodeEntryChunkHeader(1048576, 1048568));
}

void WriteManifestSeeds(const fs::path& folder) {
  WriteSeed(folder, "at-most", "1.0.5 <= 1.0.4\nFirst line.\nSecond line.\n");
  WriteSeed(folder, "exact-one-line", "2.44.0 = 1.300.0 notes");
  WriteSeed(folder, "token-against-version", "1.0.5 <=1.0.4\n42 notes");
  WriteSeed(folder, "zero-byte", std::string("1.0.5 = 1.0.4\nbefore\0after", 26));
  WriteSeed(folder, "huge-numbers", "99999999999.1.1 <= 4294967296..5\r\n\v\t");
}

void WriteVersionFileSeeds(const fs::path& folder) {
  WriteSeed(folder, "written", FormatVersionFile(PackGameVersion(1, 0, 5)));
  WriteSeed(folder, "one-line",
            "<build_number> 7x</build_number><minor>+2</minor><major>-1</major>");
  WriteSeed(folder, "comment", "<!-- <major>9</major> --><major>1.5</major>");
  WriteSeed(folder, "utf16", std::string("<\0m\0a\0j\0", 8));
}

void WriteEntryNameSeeds(const fs::path& folder) {
  const std::vector<std::string> names = {
      "config.txt", "Bin/Vantis.exe", "Data\\maps\\desert\\tiles.txt", "../escape",
      "Bin/CON.txt", "a/ b", "\x81\x5C" "name", "/absolute", "C:drive", "trailing.",
      "ends-in-pair\xF4\x5C"};
  for (size_t i = 0; i < names.size(); ++i) {
    WriteSeed(folder, "name-" + std::to_string(i), names[i]);
  }
}

// In the order RoundTripFuzzer.cpp takes them: host, key, region order, record count, then
// per record its kind, name, content, chunk split and aux fields, then the chunking.
void WriteRoundTripSeeds(const fs::path& folder) {
  std::string input;
  input += '\x02';
  input += "MZ";
  input += '\x10';
  input += kKey;
  input += '\x00';  // entry data, directory, header
  input += '\x03';  // three records
  const auto add16 = [&input](uint16_t value) {
    input.push_back(static_cast<char>(value & 0xFF));
    input.push_back(static_cast<char>(value >> 8));
  };
  input += '\x00';
  add16(10);
  input += "config.txt";
  add16(15);
  input += "1.0.5 = 1.0.4\nX";
  input += '\x03';  // three chunks
  add16(4);
  add16(0);
  input += std::string(6, '\x01');  // aux1, aux2, aux3
  input += '\x00';
  add16(18);
  input += "Data/ui/empty.flag";
  add16(0);
  input += std::string(7, '\x00');
  input += '\x03';  // a removal of an earlier name
  input += '\x00';
  input += '\x01';  // chunking of our own: one chunk per record
  input += "\x01\x01\x01";
  WriteSeed(folder, "three-records", input);
  input[2 + 1 + 16 + 1] = '\x02';  // the same without the removal
  WriteSeed(folder, "two-records", input);
  // With integrity data, then two changed bytes: in the first entry's data and the directory.
  input += '\x01';
  input += '\x01';
  input += std::string("\x05\x00\x00\x00\x40", 5);
  input += std::string("\x30\x00\x00\x00\x02", 5);
  WriteSeed(folder, "two-records-integrity", input);
  WriteSeed(folder, "empty-key", std::string("\x00\x00\x00\x01\x00\x00\x00", 7));
}

bool CollectBody(const uint8_t* data, size_t length, void* context) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return true;
}

// The source's length (u16), the source, and a body our encoder made from it.
void WriteDeltaSeed(const fs::path& folder, const std::string& name, const std::string& source,
                    const std::string& target) {
  std::string body;
  DeltaEncoderResult result;
  if (!EncodeDelta(reinterpret_cast<const uint8_t*>(source.data()), source.size(),
                   reinterpret_cast<const uint8_t*>(target.data()), target.size(), {},
                   CollectBody, &body, result)) {
    std::fprintf(stderr, "%s: the delta cannot be made\n", name.c_str());
    failed = true;
  }
  const std::string length{static_cast<char>(source.size() & 0xFF),
                           static_cast<char>(source.size() >> 8)};
  WriteSeed(folder, name, length + source + body);
}

void WriteDeltaSeeds(const fs::path& folder) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "line " + std::to_string(i * 37 % 101) + "\n";
  std::string edited = text;
  edited.replace(100, 8, "changed");
  edited.insert(300, "new line\n");
  WriteDeltaSeed(folder, "text-edit", text, edited);
  std::string code;
  for (uint32_t i = 0; i < 200; ++i) code += "\x8b\x45" + LittleEndian32(0x401000 + i * 48);
  std::string moved = code;
  for (size_t at = 2; at + 4 <= moved.size(); at += 6) moved[at] = static_cast<char>(moved[at] + 16);
  WriteDeltaSeed(folder, "shifted-addresses", code, moved);
  WriteDeltaSeed(folder, "empty-source", "", text);
  WriteDeltaSeed(folder, "empty-target", text, "");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path corpus = argv[1];
  WritePackageSeeds(corpus / "package");
  WritePackageEndSeeds(corpus / "package_end");
  WriteDirectorySeeds(corpus / "directory");
  WriteEntryStreamSeeds(corpus / "entry_stream");
  WriteManifestSeeds(corpus / "manifest");
  WriteVersionFileSeeds(corpus / "version_file");
  WriteEntryNameSeeds(corpus / "entry_name");
  WriteRoundTripSeeds(corpus / "round_trip");
  WriteDeltaSeeds(corpus / "delta");
  return failed ? 1 : 0;
}

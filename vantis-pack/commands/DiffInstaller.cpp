#include "vantis-pack/commands/DiffInstaller.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "app/game/GameVersion.h"
#include "package/ManifestName.h"
#include "package/PackageContainer.h"
#include "vantis-pack/commands/BuildInstaller.h"
#include "vantis-pack/host/HostSystem.h"
#include "app/game/PatchManifest.h"
#include "vantis-pack/names/SourceTree.h"
#include "vantis-pack/names/WindowsNameKey.h"

namespace fs = std::filesystem;

namespace {

constexpr char kVersionFileName[] = "Bin/version.xml";
constexpr size_t kCompareBlockLength = 1 << 20;

// The game's version as the installer reads it. The installer packs the three numbers into
// one value without range checks, so a number beyond its field would wrap into another
// version: refused, as is a file without all three.
bool ReadGameVersion(const fs::path& game, const char* which, GameVersion& version,
                     std::vector<std::string>& problems) {
  const fs::path path = game / fs::u8path(kVersionFileName);
  std::error_code failure;
  VersionFileFields fields;
  if (!fs::is_regular_file(path, failure)) {
    problems.push_back(std::string(which) + " " + path.u8string() +
                       ": missing; it gives the game's version");
    return false;
  }
  if (!ReadVersionFileFields(path.native(), fields)) {
    problems.push_back(std::string(which) + " " + path.u8string() + ": cannot be read");
    return false;
  }
  constexpr int32_t kLimits[3] = {255, 255, 65535};
  bool valid = true;
  for (int i = 0; i < 3; ++i) {
    const std::string tag = std::string("<") + VersionFileFields::kNames[i] + ">";
    if (!fields.found[i]) {
      problems.push_back(std::string(which) + " " + path.u8string() + ": holds no " + tag +
                         " with its closing tag; the version needs all three numbers");
      valid = false;
    } else if (fields.numbers[i] < 0 || fields.numbers[i] > kLimits[i]) {
      problems.push_back(std::string(which) + " " + path.u8string() + ": " + tag + " is " +
                         std::to_string(fields.numbers[i]) + ", outside 0 to " +
                         std::to_string(kLimits[i]) + "; the installer would read another "
                         "version");
      valid = false;
    }
  }
  if (!valid) return false;
  version = PackGameVersion(fields.numbers[0], fields.numbers[1], fields.numbers[2]);
  if (version == 0) {
    problems.push_back(std::string(which) + " " + path.u8string() +
                       ": gives version 0.0.0, which the installer takes for no version");
    return false;
  }
  return true;
}

// Block by block; the two sizes are known to be equal.
// Both files have `size` bytes, as far as the walk saw. The buffers fit the file: a game of
// thousands of small files must not cost two zero-filled blocks of a megabyte each.
bool SameContent(const fs::path& a, const fs::path& b, uint64_t size, bool& same) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
  const auto blockLength = static_cast<size_t>(std::min<uint64_t>(size + 1, kCompareBlockLength));
  std::string left(blockLength, '\0');
  std::string right(blockLength, '\0');
  for (;;) {
    first.read(left.data(), static_cast<std::streamsize>(left.size()));
    second.read(right.data(), static_cast<std::streamsize>(right.size()));
    if (first.bad() || second.bad()) return false;
    const std::streamsize got = first.gcount();
    if (got != second.gcount() ||
        std::memcmp(left.data(), right.data(), static_cast<size_t>(got)) != 0) {
      same = false;
      return true;
    }
    if (static_cast<size_t>(got) < blockLength) {
      same = true;
      return true;
    }
  }
}

bool ReadNotes(const fs::path& path, std::string& notes, std::vector<std::string>& problems) {
  if (path.empty()) return true;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (!in || in.bad()) {
    problems.push_back(path.u8string() + ": the notes cannot be read");
    return false;
  }
  notes = buffer.str();
  // A byte order mark would land in the middle of the manifest.
  if (notes.compare(0, 3, "\xEF\xBB\xBF") == 0) notes.erase(0, 3);
  return true;
}

// Calls `visit` with each folder on `name`'s path, the top one first.
template <typename Visit>
void ForEachFolder(const std::string& name, Visit visit) {
  for (size_t slash = name.find('/'); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    visit(name.substr(0, slash));
  }
}

// The patch cannot delete, so a file of NEW whose name is a folder in OLD, or whose folder
// is a file in OLD, would stop the install on every player's game.
bool FitsOldFolders(const std::string& name,
                    const std::map<std::string, const SourceFile*>& oldFiles,
                    const std::map<std::string, std::string>& oldFolders,
                    std::vector<std::string>& problems) {
  const auto folder = oldFolders.find(WindowsNameKey(name));
  if (folder != oldFolders.end()) {
    problems.push_back(name + ": a file in NEW, but a folder in OLD (it holds " +
                       folder->second + "); the patch cannot delete the folder");
    return false;
  }
  bool fits = true;
  ForEachFolder(name, [&](const std::string& parent) {
    const auto file = oldFiles.find(WindowsNameKey(parent));
    if (fits && file != oldFiles.end()) {
      problems.push_back(name + ": needs the folder " + parent + ", which is a file in OLD (" +
                         file->second->displayName + "); the patch cannot delete the file");
      fits = false;
    }
  });
  return fits;
}

}  // namespace

bool DiffInstaller(const DiffOptions& options, CommandOutput& output, std::string& error,
                   PackReport* result) {
  std::vector<std::string> problems;
  for (const fs::path& folder : {options.oldFolder, options.newFolder}) {
    if (OutputLiesWithin(options.outputPath, folder)) {
      problems.push_back(options.outputPath.u8string() + ": lies inside the game folder " +
                         folder.u8string());
    }
  }

  GameVersion oldVersion = 0;
  GameVersion newVersion = 0;
  const bool oldRead = ReadGameVersion(options.oldFolder, "OLD", oldVersion, problems);
  const bool newRead = ReadGameVersion(options.newFolder, "NEW", newVersion, problems);
  if (oldRead && newRead && newVersion <= oldVersion) {
    problems.push_back("NEW's version " + FormatGameVersion(newVersion) +
                       " is not newer than OLD's " + FormatGameVersion(oldVersion));
  }

  // OLD only answers what changed: its own odd names or links are no problem of the patch.
  SourceTree oldTree;
  std::error_code failure;
  if (!fs::is_directory(options.oldFolder, failure)) {
    problems.push_back("OLD " + options.oldFolder.u8string() + ": not a folder");
  }
  ReadSourceTree(options.oldFolder, options.excludePatterns, oldTree);
  SourceTree newTree;
  ReadSourceTree(options.newFolder, options.excludePatterns, newTree);
  problems.insert(problems.end(), newTree.problems.begin(), newTree.problems.end());

  std::map<std::string, const SourceFile*> oldFiles;  // by name as Windows compares it
  std::map<std::string, std::string> oldFolders;       // the same, to a file inside
  for (const SourceFile& file : oldTree.files) {
    oldFiles.emplace(WindowsNameKey(file.displayName), &file);
    ForEachFolder(file.displayName, [&](const std::string& folder) {
      oldFolders.emplace(WindowsNameKey(folder), file.displayName);
    });
  }
  PackRequest request;
  size_t unchanged = 0;
  size_t added = 0;
  size_t changed = 0;
  std::map<std::string, bool> kept;  // OLD names that NEW still has
  for (SourceFile& file : newTree.files) {
    const std::string folded = WindowsNameKey(file.displayName);
    if (folded == WindowsNameKey(kVersionFileName)) {
      kept[folded] = true;
      continue;
    }
    const auto old = oldFiles.find(folded);
    if (old != oldFiles.end()) {
      kept[folded] = true;
      bool same = false;
      if (old->second->size == file.size &&
          !SameContent(old->second->path, file.path, file.size, same)) {
        problems.push_back(file.displayName + ": cannot be read to compare with OLD");
        continue;
      }
      if (old->second->size == file.size && same) {
        ++unchanged;
        continue;
      }
    }
    if (IsManifestNameInAnyCase(folded)) {
      problems.push_back(file.displayName + ": the installer would take it for its manifest "
                         "and not install it");
      continue;
    }
    if (!FitsOldFolders(file.displayName, oldFiles, oldFolders, problems)) continue;
    ++(old != oldFiles.end() ? changed : added);
    // A delta fits only the very file it was made from: only a patch for exactly OLD's
    // version can count on the player having it.
    if (old != oldFiles.end() && options.rule == RuleExact) {
      request.deltaSources[file.entryName] = old->second->path;
    }
    request.files.push_back(std::move(file));
  }

  std::vector<std::string> removed;
  for (const SourceFile& file : oldTree.files) {
    if (kept.count(WindowsNameKey(file.displayName)) == 0) removed.push_back(file.displayName);
  }

  std::string notes;
  ReadNotes(options.notesPath, notes, problems);
  const std::string raw = FormatGameVersion(newVersion) +
                          (options.rule == RuleAtMost ? " <= " : " = ") +
                          FormatGameVersion(oldVersion) + "\r\n" + notes;
  std::string problem;
  if (!PrepareManifest(raw, options.notesEncoding, output, request.manifest, problem)) {
    problems.push_back(problem);
  }
  SourceFile manifest;
  manifest.entryName = kManifestName;
  manifest.displayName = std::string(kManifestName) + " (made from the version files" +
                         (options.notesPath.empty() ? ")" : " and the notes)");
  manifest.size = request.manifest.size();
  request.files.push_back(manifest);
  const EntryNameLess less;
  std::sort(request.files.begin(), request.files.end(),
            [&less](const SourceFile& a, const SourceFile& b) {
              return less(a.entryName, b.entryName);
            });

  for (const std::string& name : removed) {
    output.err << "vantis-pack: warning: " << name
               << ": in OLD but not in NEW; the patch cannot delete it\n";
  }
  output.out << "diff: " << added << " new, " << changed << " changed, " << unchanged
             << " unchanged, " << removed.size() << " only in OLD\n";

  if (result) {
    result->isDiff = true;
    result->newCount = added;
    result->changedCount = changed;
    result->unchangedCount = unchanged;
    result->onlyInOld = removed;
  }
  request.excludedNames = std::move(newTree.excludedNames);
  return PackInstaller(request, options, problems, output, error, result);
}

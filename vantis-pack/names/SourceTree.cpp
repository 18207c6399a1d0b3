#include "vantis-pack/names/SourceTree.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "package/format/DirectoryRecord.h"
#include "vantis-pack/names/ExcludePattern.h"
#include "vantis-pack/host/HostSystem.h"
#include "vantis-pack/names/PackableName.h"
#include "vantis-pack/host/StagedFile.h"
#include "vantis-pack/names/WindowsNameKey.h"

namespace fs = std::filesystem;

namespace {

struct TreeWalk {
  const std::vector<std::string>* excludePatterns = nullptr;
  fs::path realRoot;
  // The resolved folders from the root down to the one being read: entering one of them
  // again means a link loop.
  std::vector<fs::path> realFolders;
  std::vector<SourceFile> files;
  std::vector<std::string> excludedNames;
  std::vector<std::string> problems;
};

// Records the problem; the walk goes on with the next item.
void Fail(TreeWalk& walk, const std::string& name, const std::string& reason) {
  walk.problems.push_back(name + ": " + reason);
}

void WalkFolder(TreeWalk& walk, const fs::path& folder, const std::string& prefix);

// The directory entry carries the item's type as the folder listing gave it, so an item
// that is no link costs one call to the system, for its size, instead of three.
void VisitItem(TreeWalk& walk, const fs::directory_entry& item, const std::string& name) {
  const fs::path& path = item.path();
  std::error_code failure;
  const fs::file_status linkStatus = item.symlink_status(failure);
  const bool isLink = fs::is_symlink(linkStatus);
  fs::path realPath;
  // An item whose status could not be read is resolved in full, to fail as before.
  if (!ResolveRealPathInFolder(walk.realFolders.back(), path, isLink || failure, realPath)) {
    return Fail(walk, name, isLink ? "symbolic link to a missing target" : "cannot be resolved");
  }
  // Checked for every item, not only for what the library reports as a link: junctions
  // and links on Windows resolve here the same way.
  if (!IsPathWithin(realPath, walk.realRoot)) {
    return Fail(walk, name, "symbolic link that leads outside the source folder, to " +
                                realPath.u8string());
  }

  const fs::file_status status = isLink || failure ? fs::status(path, failure) : linkStatus;
  if (failure) return Fail(walk, name, "cannot be read: " + failure.message());
  if (fs::is_directory(status)) {
    if (std::find(walk.realFolders.begin(), walk.realFolders.end(), realPath) !=
        walk.realFolders.end()) {
      return Fail(walk, name, "symbolic link loop: it leads back to a folder that contains it");
    }
    walk.realFolders.push_back(realPath);
    WalkFolder(walk, path, name + "/");
    walk.realFolders.pop_back();
    return;
  }
  if (!fs::is_regular_file(status)) return Fail(walk, name, "neither a file nor a folder");

  SourceFile file;
  std::string reason;
  if (!ConvertToPackableName(name, file.entryName, reason)) return Fail(walk, name, reason);
  file.size = fs::file_size(path, failure);
  if (failure) return Fail(walk, name, "cannot be read: " + failure.message());
  file.displayName = name;
  file.path = path;
  walk.files.push_back(std::move(file));
}

void WalkFolder(TreeWalk& walk, const fs::path& folder, const std::string& prefix) {
  std::error_code failure;
  std::vector<fs::directory_entry> items;
  for (fs::directory_iterator it(folder, failure), end; !failure && it != end;
       it.increment(failure)) {
    items.push_back(*it);
  }
  if (failure) {
    return Fail(walk, prefix.empty() ? "." : prefix,
                "cannot read the folder: " + failure.message());
  }
  // Reading in a fixed order lists the problems in the same order on every run.
  std::sort(items.begin(), items.end());
  for (const fs::directory_entry& item : items) {
    const fs::path& path = item.path();
    std::string name;
    try {
      name = prefix + path.filename().u8string();
    } catch (const std::exception&) {  // a Windows name that is no valid UTF-16
      Fail(walk, prefix + "?", "name that cannot be read as text");
      continue;
    }
    std::error_code ignored;
    // A leftover of a killed vantis-pack, or one that another is writing now.
    if (IsStagedFileName(path.filename().u8string()) && !item.is_directory(ignored)) continue;
    if (IsExcluded(*walk.excludePatterns, name)) {
      walk.excludedNames.push_back(fs::is_directory(path, ignored) ? name + "/" : name);
      continue;
    }
    VisitItem(walk, item, name);
  }
}

// Windows compares file names without regard to case: two such names would be one file,
// and a file whose name is a folder's in another case could not be created. The files in
// such a clash are dropped from the list, which holds only files without problems.
void CheckCaseCollisions(TreeWalk& walk) {
  std::map<std::string, std::string> fileNames;
  std::map<std::string, std::string> folderNames;
  std::vector<bool> clashing(walk.files.size(), false);
  std::vector<std::string> keys;
  for (size_t i = 0; i < walk.files.size(); ++i) {
    const SourceFile& file = walk.files[i];
    keys.push_back(WindowsNameKey(file.displayName));
    const auto [found, added] = fileNames.emplace(keys.back(), file.displayName);
    if (!added) {
      Fail(walk, file.displayName,
           "differs from " + found->second + " only in letter case; Windows would keep one "
           "file for both");
      clashing[i] = true;
    }
    // Upper case can be shorter or longer in UTF-8, so each folder is keyed on its own.
    const std::string& name = file.displayName;
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      const std::string folder = name.substr(0, slash);
      folderNames.emplace(WindowsNameKey(folder), folder);
    }
  }
  for (size_t i = 0; i < walk.files.size(); ++i) {
    const SourceFile& file = walk.files[i];
    const auto folder = folderNames.find(keys[i]);
    if (folder != folderNames.end()) {
      Fail(walk, file.displayName, "is a file, but " + folder->second +
                                       " is a folder; Windows cannot hold both names");
      clashing[i] = true;
    }
  }
  std::vector<SourceFile> kept;
  for (size_t i = 0; i < walk.files.size(); ++i) {
    if (!clashing[i]) kept.push_back(std::move(walk.files[i]));
  }
  walk.files.swap(kept);
}

}  // namespace

bool ReadSourceTree(const fs::path& root, const std::vector<std::string>& excludePatterns,
                    SourceTree& tree) {
  TreeWalk walk;
  walk.excludePatterns = &excludePatterns;
  std::error_code failure;
  if (!fs::is_directory(root, failure) || !ResolveRealPath(root, walk.realRoot)) {
    tree = SourceTree();
    tree.problems.push_back(root.u8string() + ": not a folder");
    return false;
  }
  walk.realFolders.push_back(walk.realRoot);
  WalkFolder(walk, root, std::string());
  CheckCaseCollisions(walk);
  const EntryNameLess less;
  std::sort(walk.files.begin(), walk.files.end(),
            [&less](const SourceFile& a, const SourceFile& b) {
              return less(a.entryName, b.entryName);
            });
  // Distinct UTF-8 names could in principle meet in one code page 936 name.
  std::vector<SourceFile> kept;
  for (size_t i = 0; i < walk.files.size(); ++i) {
    if (i > 0 && walk.files[i].entryName == walk.files[i - 1].entryName) {
      Fail(walk, walk.files[i].displayName,
           "same name in code page 936 as " + walk.files[i - 1].displayName);
      continue;
    }
    kept.push_back(std::move(walk.files[i]));
  }
  tree.files.swap(kept);
  tree.excludedNames.swap(walk.excludedNames);
  tree.problems.swap(walk.problems);
  return tree.problems.empty();
}

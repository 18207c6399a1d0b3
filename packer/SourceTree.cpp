#include "packer/SourceTree.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "package/PackageContainer.h"
#include "packer/HostSystem.h"
#include "packer/PackableName.h"

namespace fs = std::filesystem;

namespace {

struct TreeWalk {
  fs::path realRoot;
  // The resolved folders from the root down to the one being read: entering one of them
  // again means a link loop.
  std::vector<fs::path> realFolders;
  std::vector<SourceFile> files;
  std::string error;
};

bool Fail(TreeWalk& walk, const std::string& name, const std::string& reason) {
  walk.error = name + ": " + reason;
  return false;
}

std::string FoldAsciiCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool WalkFolder(TreeWalk& walk, const fs::path& folder, const std::string& prefix);

bool VisitItem(TreeWalk& walk, const fs::path& path, const std::string& name) {
  std::error_code failure;
  const bool isLink = fs::is_symlink(fs::symlink_status(path, failure));
  fs::path realPath;
  if (!ResolveRealPath(path, realPath)) {
    return Fail(walk, name, isLink ? "symbolic link to a missing target" : "cannot be resolved");
  }
  // Checked for every item, not only for what the library reports as a link: junctions
  // and links on Windows resolve here the same way.
  if (!IsPathWithin(realPath, walk.realRoot)) {
    return Fail(walk, name, "symbolic link that leads outside the source folder, to " +
                                realPath.u8string());
  }

  const fs::file_status status = fs::status(path, failure);
  if (failure) return Fail(walk, name, "cannot be read: " + failure.message());
  if (fs::is_directory(status)) {
    if (std::find(walk.realFolders.begin(), walk.realFolders.end(), realPath) !=
        walk.realFolders.end()) {
      return Fail(walk, name, "symbolic link loop: it leads back to a folder that contains it");
    }
    walk.realFolders.push_back(realPath);
    const bool walked = WalkFolder(walk, path, name + "/");
    walk.realFolders.pop_back();
    return walked;
  }
  if (!fs::is_regular_file(status)) return Fail(walk, name, "neither a file nor a folder");

  SourceFile file;
  std::string reason;
  if (!MakeEntryName(name, file.entryName, reason)) return Fail(walk, name, reason);
  file.size = fs::file_size(path, failure);
  if (failure) return Fail(walk, name, "cannot be read: " + failure.message());
  file.displayName = name;
  file.path = path;
  walk.files.push_back(std::move(file));
  return true;
}

bool WalkFolder(TreeWalk& walk, const fs::path& folder, const std::string& prefix) {
  std::error_code failure;
  std::vector<fs::path> items;
  for (fs::directory_iterator it(folder, failure), end; !failure && it != end;
       it.increment(failure)) {
    items.push_back(it->path());
  }
  if (failure) {
    return Fail(walk, prefix.empty() ? "." : prefix,
                "cannot read the folder: " + failure.message());
  }
  // Reading in a fixed order makes the first refusal the same on every run.
  std::sort(items.begin(), items.end());
  for (const fs::path& path : items) {
    std::string name;
    try {
      name = prefix + path.filename().u8string();
    } catch (const std::exception&) {  // a Windows name that is no valid UTF-16
      return Fail(walk, prefix + "?", "name that cannot be read as text");
    }
    if (!VisitItem(walk, path, name)) return false;
  }
  return true;
}

// Windows compares file names without regard to case: two such names would be one file,
// and a file whose name is a folder's in another case could not be created.
bool CheckCaseCollisions(TreeWalk& walk) {
  std::map<std::string, std::string> fileNames;
  std::map<std::string, std::string> folderNames;
  for (const SourceFile& file : walk.files) {
    const std::string folded = FoldAsciiCase(file.displayName);
    const auto [found, added] = fileNames.emplace(folded, file.displayName);
    if (!added) {
      return Fail(walk, file.displayName,
                  "differs from " + found->second + " only in letter case; Windows would keep "
                  "one file for both");
    }
    for (size_t slash = folded.find('/'); slash != std::string::npos;
         slash = folded.find('/', slash + 1)) {
      folderNames.emplace(folded.substr(0, slash), file.displayName.substr(0, slash));
    }
  }
  for (const auto& [folded, name] : fileNames) {
    const auto folder = folderNames.find(folded);
    if (folder != folderNames.end()) {
      return Fail(walk, name, "is a file, but " + folder->second +
                                  " is a folder; Windows cannot hold both names");
    }
  }
  return true;
}

}  // namespace

bool ReadSourceTree(const fs::path& root, std::vector<SourceFile>& files, std::string& error) {
  TreeWalk walk;
  std::error_code failure;
  if (!fs::is_directory(root, failure) || !ResolveRealPath(root, walk.realRoot)) {
    error = root.u8string() + ": not a folder";
    return false;
  }
  walk.realFolders.push_back(walk.realRoot);
  if (!WalkFolder(walk, root, std::string()) || !CheckCaseCollisions(walk)) {
    error = walk.error;
    return false;
  }
  const EntryNameLess less;
  std::sort(walk.files.begin(), walk.files.end(),
            [&less](const SourceFile& a, const SourceFile& b) {
              return less(a.entryName, b.entryName);
            });
  // Distinct UTF-8 names could in principle meet in one code page 936 name.
  for (size_t i = 1; i < walk.files.size(); ++i) {
    if (walk.files[i].entryName == walk.files[i - 1].entryName) {
      error = walk.files[i].displayName + ": same name in code page 936 as " +
              walk.files[i - 1].displayName;
      return false;
    }
  }
  files.swap(walk.files);
  return true;
}

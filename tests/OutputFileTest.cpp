// Writing below the game folder through a temporary file: a target changes only when the
// whole new file is in place, and nothing else in the folder is ever touched.

#include "app/OutputFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "app/FileDurability.h"
#include "app/Installer.h"

namespace {

std::string ReadFileText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

void WriteFileText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// Every test runs in a fresh game folder of its own.
class OutputFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    folder_ = std::string(temp) + "vantis-output-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(counter++);
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr));
    gameFolder_ = folder_ + "\\";
    GameFolder.assign(gameFolder_.begin(), gameFolder_.end());  // ASCII
  }
  void TearDown() override { RemoveTree(folder_); }

  std::string PathOf(const std::string& name) const { return gameFolder_ + name; }

  std::set<std::string> Listing(const std::string& subfolder = "") const {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((gameFolder_ + subfolder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
  }

  // Create, write every block, close and move: what the worker does on the good path.
  bool WriteWhole(const std::string& name, std::initializer_list<std::string> blocks) {
    OutputFile file;
    if (!CreateOutputFile(name, file)) return false;
    for (const std::string& block : blocks) {
      if (!file.Write(block)) return false;
    }
    return file.Close() && file.ReplaceTarget();
  }

  std::string folder_;
  std::string gameFolder_;
};

using Names = std::set<std::string>;

TEST_F(OutputFileTest, CreatesFoldersNamedWithSlashesAndReplacesTheTargetLast) {
  OutputFile file;
  ASSERT_TRUE(CreateOutputFile("a/b/c.dat", file));
  EXPECT_EQ(Listing("a\\b\\").size(), 1u);  // the temporary file only
  ASSERT_TRUE(file.Write("first "));
  ASSERT_TRUE(file.Write(""));
  ASSERT_TRUE(file.Write("second"));
  EXPECT_EQ(ReadFileText(PathOf("a\\b\\c.dat")), "<missing>");
  ASSERT_TRUE(file.Close());
  ASSERT_TRUE(file.ReplaceTarget());
  EXPECT_EQ(ReadFileText(PathOf("a/b/c.dat")), "first second");
  EXPECT_EQ(Listing("a\\b\\"), Names{"c.dat"});

  // Existing folders and an existing target: replaced whole, or emptied by no blocks at all.
  ASSERT_TRUE(WriteWhole("a/b/c.dat", {"third"}));
  EXPECT_EQ(ReadFileText(PathOf("a/b/c.dat")), "third");
  ASSERT_TRUE(WriteWhole("a/b/c.dat", {}));
  EXPECT_EQ(ReadFileText(PathOf("a/b/c.dat")), "");
  EXPECT_EQ(Listing(), Names{"a"});
}

TEST_F(OutputFileTest, BackslashesGetNoFoldersCreated) {
  OutputFile file;
  EXPECT_FALSE(CreateOutputFile("d\\e.dat", file));
  EXPECT_FALSE(CreateOutputFile("q/r\\s.dat", file));
  EXPECT_EQ(Listing(), Names{"q"});
  EXPECT_EQ(Listing("q\\"), Names{});

  ASSERT_TRUE(CreateDirectoryA(PathOf("Bin").c_str(), nullptr));
  ASSERT_TRUE(WriteWhole("Bin\\version.xml", {"v"}));
  EXPECT_EQ(ReadFileText(PathOf("Bin\\version.xml")), "v");
}

TEST_F(OutputFileTest, AnAbandonedFileLeavesTheTargetAndFolderAsTheyWere) {
  WriteFileText(PathOf("x.dat"), "old");
  {
    OutputFile file;
    ASSERT_TRUE(CreateOutputFile("x.dat", file));
    ASSERT_TRUE(file.Write("new, half written"));
    file.Discard();
    EXPECT_EQ(Listing(), Names{"x.dat"});
  }
  {
    OutputFile file;  // dropped without a word, as when an exception unwinds
    ASSERT_TRUE(CreateOutputFile("x.dat", file));
    ASSERT_TRUE(file.Write("new"));
  }
  {
    OutputFile file;  // closed, but never moved
    ASSERT_TRUE(CreateOutputFile("x.dat", file));
    ASSERT_TRUE(file.Write("new"));
    ASSERT_TRUE(file.Close());
  }
  EXPECT_EQ(ReadFileText(PathOf("x.dat")), "old");
  EXPECT_EQ(Listing(), Names{"x.dat"});
}

// Whatever names a folder holds, game files or leftovers of older installers, every target
// is written and nothing else in the folder is touched.
TEST_F(OutputFileTest, EveryTargetIsWrittenWhateverNamesItsFolderHolds) {
  Names held;
  for (int i = 0; i < 100; ++i) {
    const std::string number = std::to_string(i);
    held.insert(number);
    held.insert("~vt" + number);
    WriteFileText(PathOf(number), "game file " + number);
    if (i % 2 == 0) {
      WriteFileText(PathOf("~vt" + number), "someone else's");
    } else {
      ASSERT_TRUE(CreateDirectoryA(PathOf("~vt" + number).c_str(), nullptr));
    }
  }
  for (const std::string name : {"5", "~vt8", "x", "t0"}) {
    ASSERT_TRUE(WriteWhole(name, {"new " + name})) << name;
    EXPECT_EQ(ReadFileText(PathOf(name)), "new " + name);
  }
  held.insert({"x", "t0"});
  EXPECT_EQ(Listing(), held);
  EXPECT_EQ(ReadFileText(PathOf("6")), "game file 6");
  EXPECT_EQ(ReadFileText(PathOf("~vt6")), "someone else's");
}

// A killed install leaves its temporary file; the next one to write into that folder removes
// it, but not the one another installer is still writing, nor a file of another name.
TEST_F(OutputFileTest, LeftoversOfAKilledInstallAreRemovedByTheNextOne) {
  ASSERT_TRUE(CreateDirectoryA(PathOf("Data").c_str(), nullptr));
  WriteFileText(PathOf("Data\\~vt0123ABCD.tmp"), "partial");
  WriteFileText(PathOf("Data\\~vt89abcdef.tmp"), "partial");
  WriteFileText(PathOf("Data\\~vt0"), "game file");
  WriteFileText(PathOf("Data\\~vt0123ABCD.tmp.dat"), "game file");
  HANDLE running = CreateFileA(PathOf("Data\\~vtFEDCBA98.tmp").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(running, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(WriteWhole("Data/x.dat", {"new"}));
  CloseHandle(running);
  EXPECT_EQ(Listing("Data\\"),
            (Names{"~vt0", "~vt0123ABCD.tmp.dat", "~vtFEDCBA98.tmp", "x.dat"}));
}

// The system refuses paths of MAX_PATH characters or more. A target just below the limit
// must still be written, whether its temporary file's name is longer than its own or not.
TEST_F(OutputFileTest, ATargetJustBelowThePathLimitIsWritten) {
  const std::string longName = std::string(MAX_PATH - 1 - gameFolder_.size(), 'n');
  ASSERT_TRUE(WriteWhole(longName, {"long"}));
  EXPECT_EQ(ReadFileText(PathOf(longName)), "long");

  // The deepest folder CreateDirectory makes, and a one-letter name in it.
  const std::string deep = std::string(MAX_PATH - 13 - gameFolder_.size(), 'd');
  ASSERT_TRUE(CreateDirectoryA(PathOf(deep).c_str(), nullptr));
  ASSERT_TRUE(WriteWhole(deep + "/x", {"short"}));
  EXPECT_EQ(ReadFileText(PathOf(deep + "\\x")), "short");
  EXPECT_EQ(Listing(), (Names{longName, deep}));
  EXPECT_EQ(Listing(deep + "\\"), Names{"x"});
}

TEST_F(OutputFileTest, AFolderOrALockedFileAtTheTargetStaysAndTheTemporaryFileGoes) {
  ASSERT_TRUE(CreateDirectoryA(PathOf("folder.dat").c_str(), nullptr));
  WriteFileText(PathOf("folder.dat\\inside"), "kept");
  OutputFile file;
  ASSERT_TRUE(CreateOutputFile("folder.dat", file));
  ASSERT_TRUE(file.Close());
  EXPECT_FALSE(file.ReplaceTarget());
  EXPECT_EQ(Listing(), Names{"folder.dat"});
  EXPECT_EQ(ReadFileText(PathOf("folder.dat\\inside")), "kept");

  WriteFileText(PathOf("locked.dat"), "old");
  HANDLE lock = CreateFileA(PathOf("locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  OutputFile other;
  ASSERT_TRUE(CreateOutputFile("locked.dat", other));
  ASSERT_TRUE(other.Write("new"));
  ASSERT_TRUE(other.Close());
  EXPECT_FALSE(other.ReplaceTarget());
  CloseHandle(lock);
  EXPECT_EQ(ReadFileText(PathOf("locked.dat")), "old");
  EXPECT_EQ(Listing(), (Names{"folder.dat", "locked.dat"}));
}


// A batch is flushed side by side on several threads; what comes back must still name the
// first file that failed, wherever it stands in the batch, and a full batch must succeed.
TEST(InstalledFileFlush, NamesTheFirstFileThatCannotBeFlushed) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof temp, temp);
  const std::string folder =
      std::string(temp) + "vantis-flush-" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string gameFolder = folder + "\\";
  GameFolder.assign(gameFolder.begin(), gameFolder.end());  // ASCII

  std::vector<std::string> names;
  for (size_t i = 0; i < kFlushBatchLimit; ++i) {
    names.push_back("f" + std::to_string(i) + ".dat");
    WriteFileText(gameFolder + names.back(), "data");
  }
  std::vector<const std::string*> batch;
  for (const std::string& name : names) batch.push_back(&name);
  EXPECT_EQ(FlushInstalledFiles(batch.data(), batch.size()), kFlushBatchLimit);
  EXPECT_EQ(FlushInstalledFiles(batch.data(), 0), 0u);

  const std::string missing = "missing.dat";
  for (const size_t at : {size_t{0}, size_t{5}, kFlushBatchLimit - 1}) {
    std::vector<const std::string*> withGap = batch;
    withGap[at] = &missing;
    EXPECT_EQ(FlushInstalledFiles(withGap.data(), withGap.size()), at);
  }
  for (const std::string& name : names) DeleteFileA((gameFolder + name).c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

// Faults that a player's machine brings into a running install, played end to end under
// Wine: a disk that fills up part-way through a file, a folder or a file standing in the
// way, a target or the package held open by another program, the package moved away while
// the installer runs, and giving up in the middle. Each scenario checks the box the user
// sees, what Retry and Cancel then do, and the bytes left on disk: no game file is lost or
// left half written, and no temporary file stays behind.
//
// The installer writes each file as a temporary file in the target's folder, "~vt", 8 random
// hexadecimal digits and ".tmp", and moves it over the target only once it is complete.

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"
#include "support/PackageFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kPage = 4096;  // tmpfs counts its space in whole pages
constexpr char kAnyTemporaryName[] = "~vt*.tmp";
constexpr char kMovedInstaller[] = "updates/VantisPatch.exe.moved";

// A small tmpfs mounted over a folder of a scenario, so that a write runs out of space at a
// chosen point. It stays mounted while the tests read the files and is unmounted when the
// suite ends, whatever happened.
class SmallDisk {
 public:
  SmallDisk() = default;
  ~SmallDisk() {
    if (folder_.empty()) return;
    // Lazily, should a Wine process still hold a file there: the mount must not outlive us.
    if (umount2(folder_.c_str(), 0) != 0) umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool Mount(const std::string& folder, size_t pageCount, std::string& error) {
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    const std::string options = "size=" + std::to_string(pageCount * kPage) + ",mode=0755";
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
      error = "cannot mount a tmpfs (" + std::string(std::strerror(errno)) +
              "): the full-disk scenarios need root";
      return false;
    }
    folder_ = folder;
    return true;
  }

  // What the scenario left, for a look after a failed run: the mount's contents vanish.
  void KeepCopy() const {
    std::error_code ignored;
    fs::copy(folder_, folder_ + ".kept", fs::copy_options::recursive, ignored);
  }

 private:
  std::string folder_;
};

struct FaultBatch {
  ScenarioBatch batch;
  std::string noSmallDisk;  // why no full-disk scenario could be set up
  std::vector<std::unique_ptr<SmallDisk>> disks;
  std::string movedInstaller;  // the bytes of the installer that was moved away
};

FaultBatch* Fault = nullptr;

std::string Installer(std::vector<PackageRecord> records) {
  return Fault->batch.Installer(std::move(records));
}

Scenario& NewScenario(const std::string& name) { return Fault->batch.Add(name); }

// A scenario whose game folder's `subfolder` is a small disk of `pageCount` pages, or null
// when no disk can be mounted here: then the scenario is left out of the batch.
Scenario* NewScenarioOnSmallDisk(const std::string& name, const std::string& subfolder,
                                 size_t pageCount) {
  if (!Fault->noSmallDisk.empty()) return nullptr;
  const std::string folder = Scenario(Fault->batch.root, name).game + "/" + subfolder;
  auto disk = std::make_unique<SmallDisk>();
  if (!disk->Mount(folder, pageCount, Fault->noSmallDisk)) return nullptr;
  Fault->disks.push_back(std::move(disk));
  return &NewScenario(name);
}

const std::string kManifest = "1.0.5 = 1.0.4\r\n" + kNotes936;
const std::string kOldBig = Noise(6000, 11);
const std::string kNewBig = Noise(16 * kPage, 12);

// textures/ is a disk of 64 pages, 48 of them taken by a filler file that the user can
// delete. With the old big.dat (2 pages) and the new a.dat (1), 13 pages are free when the
// new big.dat comes in two chunks of 8 pages: the first fits, the second is cut short. The
// short write is the entry's last, so only a check of the count written catches it; the
// call itself can report success. The folder's name sorts after "config.txt", so big.dat
// is the last element of the walk.
Scenario* NewDiskFullScenario(const std::string& name) {
  Scenario* disk = NewScenarioOnSmallDisk(name, "textures", 64);
  if (!disk) return nullptr;
  Scenario& s = *disk;
  s.PutGame(VersionFile(1, 0, 4));
  s.Put("textures/big.dat", kOldBig);
  s.Put("textures/filler", std::string(48 * kPage, 'f'));
  PackageRecord big = Entry("textures/big.dat", kNewBig);
  big.chunkPlainLengths = {8 * kPage, 8 * kPage};
  s.PutInstaller(Installer({Manifest(kManifest), Entry("textures/a.dat", "new a"), big}));
  return &s;
}

void DefineFullDisks() {
  if (Scenario* disk = NewDiskFullScenario("disk_full_retried")) {
    // The temporary file is gone while the box asks for space; Retry while the disk is
    // still full asks again; Retry once the filler is deleted finishes the install.
    Scenario& s = *disk;
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kWriteFailed, "2,4", "error")
        .Dialog({kNotesShown, 0, 6, 3, false, true})
        .Exists(s.Win(std::string("textures/") + kAnyTemporaryName), false)
        .Press(kRetry)
        .Box(kWriteFailed, "2,4", "error")
        .Remove(s.Win("textures/filler"))
        .Press(kRetry)
        .Box(kInstallSucceeded, "1", "none")
        .Press(kOk)
        .Exit(0);
  }
  if (Scenario* disk = NewDiskFullScenario("disk_full_cancelled")) {
    Scenario& s = *disk;
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kWriteFailed, "2,4", "error")
        .Press(kCancel)
        .Exit(0);
  }
  if (Scenario* disk = NewDiskFullScenario("disk_full_given_up")) {
    // Giving up while the box is open: Retry after the space is freed still writes the
    // file in hand whole. It is the last entry, and the version file stays as it was.
    Scenario& s = *disk;
    s.LaunchAndGiveUpAtBox(kWriteFailed, {kCancelling, 0, 6, 3, false, false})
        .Remove(s.Win("textures/filler"))
        .Press(kRetry)
        .Exit(0);
  }
  if (Scenario* disk = NewScenarioOnSmallDisk("version_file_disk_full", "Bin", 16)) {
    // Bin/ is a disk of 16 pages with not one free: the version file, the last thing the
    // install writes, fails. Cancel keeps the old version file byte for byte.
    Scenario& s = *disk;
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Bin/filler", std::string(14 * kPage, 'f'));
    s.PutInstaller(Installer({Manifest(kManifest), Entry("Data/a.dat", "new a")}));
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kWriteFailed, "2,4", "error")
        .Dialog({kNotesShown, 0, 4, 2, false, true})
        .Press(kRetry)
        .Box(kWriteFailed, "2,4", "error")
        .Press(kCancel)
        .Exit(0);
  }
}

void DefineThingsInTheWay() {
  {
    // Data/Maps is a file where the entry needs a folder, and Data/b.dat a folder where
    // the entry is a file. Each asks whether the folder is writable; Retry once the user
    // has removed what was in the way goes on.
    Scenario& s = NewScenario("obstacles_removed_then_retried");
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Data/Maps", "a file named like a folder");
    s.Put("Data/b.dat/readme.txt", "a folder named like a file");
    s.PutInstaller(Installer({Manifest(kManifest), Entry("Data/Maps/m.map", "new map"),
                              Entry("Data/a.dat", "new a"), Entry("Data/b.dat", "new b"),
                              Entry("Data/z.dat", "new z")}));
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kFolderNotWritable, "2,4", "error")
        .Dialog({kNotesShown, 0, 10, 1, false, true})
        .Remove(s.Win("Data/Maps"))
        .Press(kRetry)
        .Box(kFolderNotWritable, "2,4", "error")
        .Dialog({kNotesShown, 0, 10, 5, false, true})
        .Exists(s.Win(std::string("Data/") + kAnyTemporaryName), false)
        .Remove(s.Win("Data/b.dat"))
        .Press(kRetry)
        .Box(kInstallSucceeded, "1", "none")
        .Press(kOk)
        .Exit(0);
  }
  {
    // Giving up while the box is open, then Cancel: the folder stays as it was.
    Scenario& s = NewScenario("folder_in_the_way_given_up");
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Data/b.dat/readme.txt", "a folder named like a file");
    s.Put("Data/z.dat", "old z");
    s.PutInstaller(Installer({Manifest(kManifest), Entry("Data/a.dat", "new a"),
                              Entry("Data/b.dat", "new b"), Entry("Data/z.dat", "new z")}));
    s.LaunchAndGiveUpAtBox(kFolderNotWritable, {kCancelling, 0, 8, 3, false, false})
        .Press(kCancel)
        .Exit(0);
  }
  {
    // The game holds its version file open, taken only once the installer has read it.
    Scenario& s = NewScenario("locked_version_file_retried");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Installer({Manifest(kManifest), Entry("Data/a.dat", "new a")}));
    s.Launch()
        .Dialog({kNotesShown})
        .Lock(s.Win("Bin/version.xml"))
        .Click(kInstallButton)
        .Box(kFolderNotWritable, "2,4", "error")
        .Dialog({kNotesShown, 0, 4, 2, false, true})
        .Press(kRetry)
        .Box(kFolderNotWritable, "2,4", "error")
        .Unlock()
        .Press(kRetry)
        .Box(kInstallSucceeded, "1", "none")
        .Press(kOk)
        .Exit(0);
  }
}

void DefinePackageFaults() {
  {
    // The installer is moved away while the worker waits on locked.dat, whose data it
    // already holds: that file is still written, the next entry cannot be read.
    Scenario& s = NewScenario("installer_moved_away");
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Data/locked.dat", "old locked");
    s.Put("Data/z.dat", "old z");
    Fault->movedInstaller =
        Installer({Manifest(kManifest), Entry("Data/a.dat", "new a"),
                   Entry("Data/locked.dat", "new locked"), Entry("Data/z.dat", "new z")});
    s.PutInstaller(Fault->movedInstaller);
    s.script.Lock(s.Win("Data/locked.dat"));
    s.Launch()
        .Dialog({kNotesShown})
        .Click(kInstallButton)
        .Box(kFolderNotWritable, "2,4", "error")
        .Move(s.Win(s.installer), s.Win(kMovedInstaller))
        .Unlock()
        .Press(kRetry)
        .Box(kEntryDamaged, "1", "error")
        .Dialog({kNotesShown, 0, 8, 4, false, true})
        .Press(kOk)
        .Exit(0);
  }
  {
    // Another program reads the installer and shares it with nobody.
    Scenario& s = NewScenario("installer_locked");
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Data/a.dat", "old a");
    s.PutInstaller(Installer({Manifest(kManifest), Entry("Data/a.dat", "new a"),
                              Entry("Data/b.dat", "new b")}));
    s.Launch()
        .Dialog({kNotesShown})
        .LockRead(s.Win(s.installer))
        .Click(kInstallButton)
        .Box(kEntryDamaged, "1", "error")
        .Dialog({kNotesShown, 0, 6, 0, false, true})
        .Press(kOk)
        .Exit(0);
  }
}

// One byte per chunk, and so one WriteFile per byte: big.dat takes a while to read and to
// write, so a give-up is likely to arrive in the middle of it. How long is up to the
// machine, so the tests accept every moment at which it can arrive.
constexpr uint32_t kSlowEntryLength = 300000;
const std::string kSlowContent = Noise(kSlowEntryLength, 21);

std::string SlowEntryInstaller() {
  PackageRecord big = Entry("Data/big.dat", kSlowContent);
  big.chunkPlainLengths.assign(kSlowEntryLength, 1);
  return Installer({Manifest(kManifest), big, Entry("Data/z.dat", "new z")});
}

Scenario& NewSlowEntryScenario(const std::string& name, const std::string& installer) {
  Scenario& s = NewScenario(name);
  s.PutGame(VersionFile(1, 0, 4));
  s.Put("Data/big.dat", kOldBig);
  s.Put("Data/z.dat", "old z");
  s.PutInstaller(installer);
  // The question is open while the worker goes on, so the scenario can answer it at the
  // moment it chooses.
  s.Launch()
      .Dialog({kNotesShown})
      .Click(kInstallButton)
      .Click(kCloseButton)
      .Box(kAskGiveUp, "6,7", "error");
  return s;
}

void DefineGivingUp() {
  {
    // The worker has read big.dat and waits on its target, which another program holds
    // open, when the user gives up: the moment is the scenario's, not the machine's. Retry
    // once the file is released finishes the file in hand, and nothing after it changes; a
    // worker that went on would write z.dat and the version file too.
    Scenario& s = NewScenario("give_up_while_a_file_is_held");
    s.PutGame(VersionFile(1, 0, 4));
    s.Put("Data/big.dat", kOldBig);
    s.Put("Data/z.dat", "old z");
    s.PutInstaller(Installer({Manifest(kManifest), Entry("Data/big.dat", kNewBig),
                              Entry("Data/z.dat", "new z")}));
    s.script.Lock(s.Win("Data/big.dat"));
    s.LaunchAndGiveUpAtBox(kFolderNotWritable, {kCancelling, 0, 6, 1, false, false})
        .Unlock()
        .Press(kRetry)
        .Exit(0);
  }
  {
    const std::string installer = SlowEntryInstaller();
    // Yes once the bar shows big.dat read: its file is being written, or done.
    Scenario& s = NewSlowEntryScenario("give_up_while_writing", installer);
    s.script.Dialog({kNotesShown, 0, 6, 1, false, true}, "progress>=1").Press(kYes).Exit(0);
  }
}

// Where the worker stood when Yes arrived decides how far it got through its changes, made
// in this order: big.dat (Yes came while it was read, or later), z.dat (Yes came after
// big.dat was done), the version file (Yes came after the last file, or once the worker had
// finished, and the success message is still withheld). Each is correct; a partial file, a
// change out of that order or a temporary file left behind is not. Returns how many of the
// changes were made.
size_t ExpectGivenUpCleanly(const Scenario& s) {
  const std::pair<std::string, std::string> changes[] = {{"Data/big.dat", kSlowContent},
                                                         {"Data/z.dat", "new z"},
                                                         {"Bin/version.xml", kVersionFile105}};
  const FileTree files = s.GameFiles();
  FileTree expected = s.gameBefore;
  size_t made = 0;
  for (const auto& [name, content] : changes) {
    const auto found = files.find(name);
    if (found == files.end() || found->second != content) break;
    expected[name] = content;
    ++made;
  }
  ExpectFiles(files, expected);
  return made;
}

}  // namespace

class FaultInjectionEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  void SetUp() override {
    RequireBatch(Fault->batch);
  }

  static const Scenario& Get(const std::string& name) { return Fault->batch.scenarios.at(name); }
  static void ExpectTranscript(const Scenario& s) { ::ExpectTranscript(Fault->batch, s); }
};

void FaultInjectionEndToEnd::SetUpTestSuite() {
  Fault = new FaultBatch;
  if (!Fault->batch.Prepare()) return;
  DefineFullDisks();
  DefineThingsInTheWay();
  DefinePackageFaults();
  DefineGivingUp();
  Fault->batch.Play("fault injection");
}

void FaultInjectionEndToEnd::TearDownTestSuite() {
  const bool keep = CurrentSuiteFailed();
  if (keep) {
    for (const auto& disk : Fault->disks) disk->KeepCopy();
  }
  Fault->disks.clear();  // unmounted before the folders go
  Fault->batch.Finish(keep);
  delete Fault;
  Fault = nullptr;
}

// --- A disk that fills up -----------------------------------------------------------------

TEST_F(FaultInjectionEndToEnd, FullDiskAsksForSpaceAndRetryAfterFreeingItCompletes) {
  if (!Fault->noSmallDisk.empty()) GTEST_SKIP() << Fault->noSmallDisk;
  const Scenario& s = Get("disk_full_retried");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected.erase("textures/filler");
  expected["textures/a.dat"] = "new a";
  expected["textures/big.dat"] = kNewBig;
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);
}

TEST_F(FaultInjectionEndToEnd, CancelOnAFullDiskKeepsTheOldFileWhole) {
  if (!Fault->noSmallDisk.empty()) GTEST_SKIP() << Fault->noSmallDisk;
  const Scenario& s = Get("disk_full_cancelled");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"textures/a.dat", "new a"}}));
}

TEST_F(FaultInjectionEndToEnd, GivingUpOnAFullDiskFinishesTheFileInHandAfterRetry) {
  if (!Fault->noSmallDisk.empty()) GTEST_SKIP() << Fault->noSmallDisk;
  const Scenario& s = Get("disk_full_given_up");
  ExpectTranscript(s);
  FileTree expected = s.gameBefore;
  expected.erase("textures/filler");
  expected["textures/a.dat"] = "new a";
  expected["textures/big.dat"] = kNewBig;
  ExpectFiles(s.GameFiles(), expected);
}

TEST_F(FaultInjectionEndToEnd, FullDiskForTheVersionFileKeepsTheOldVersion) {
  if (!Fault->noSmallDisk.empty()) GTEST_SKIP() << Fault->noSmallDisk;
  const Scenario& s = Get("version_file_disk_full");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"}}));
}

// --- Something in the way, or held open ---------------------------------------------------

TEST_F(FaultInjectionEndToEnd, RetryAfterRemovingAFileOrFolderInTheWayCompletes) {
  const Scenario& s = Get("obstacles_removed_then_retried");
  ExpectTranscript(s);
  FileTree expected;
  expected["Bin/Vantis.exe"] = s.gameBefore.at("Bin/Vantis.exe");
  expected["Bin/version.xml"] = kVersionFile105;
  expected["Data/Maps/m.map"] = "new map";
  expected["Data/a.dat"] = "new a";
  expected["Data/b.dat"] = "new b";
  expected["Data/z.dat"] = "new z";
  ExpectFiles(s.GameFiles(), expected);
}

TEST_F(FaultInjectionEndToEnd, GivingUpThenCancelLeavesTheFolderInTheWayAlone) {
  const Scenario& s = Get("folder_in_the_way_given_up");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"}}));
}

TEST_F(FaultInjectionEndToEnd, LockedVersionFileIsWrittenOnRetryAfterRelease) {
  const Scenario& s = Get("locked_version_file_retried");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"},
                                               {"Bin/version.xml", kVersionFile105}}));
}

// --- The package itself -------------------------------------------------------------------

TEST_F(FaultInjectionEndToEnd, InstallerMovedAwayDamagesTheNextEntryAndTruncatesNothing) {
  const Scenario& s = Get("installer_moved_away");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/a.dat", "new a"},
                                               {"Data/locked.dat", "new locked"},
                                               {kMovedInstaller, Fault->movedInstaller}}));
}

TEST_F(FaultInjectionEndToEnd, InstallerHeldByAnExclusiveReaderIsADamagedPackage) {
  const Scenario& s = Get("installer_locked");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.gameBefore);
}

// --- Giving up ----------------------------------------------------------------------------

TEST_F(FaultInjectionEndToEnd, GivingUpWhileAFileIsHeldFinishesItAndStopsThere) {
  const Scenario& s = Get("give_up_while_a_file_is_held");
  ExpectTranscript(s);
  ExpectFiles(s.GameFiles(), s.GameBeforeWith({{"Data/big.dat", kNewBig}}));
}

TEST_F(FaultInjectionEndToEnd, GivingUpOnceAFileIsReadFinishesItAndStopsCleanly) {
  const Scenario& s = Get("give_up_while_writing");
  ExpectTranscript(s);
  // The bar had moved, so the read was done and its file is written whatever came next.
  EXPECT_GE(ExpectGivenUpCleanly(s), 1u);
}

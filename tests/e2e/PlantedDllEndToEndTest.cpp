// The installer run from an updates folder where DLLs named after system DLLs were planted,
// with Wine told to prefer a DLL found on the search path to its own (as Windows does for
// DLLs that are not KnownDLLs). The installer restricts its DLL search to the system folder
// at its entry point; this checks that the restriction leaves it everything it needs (it
// still starts and installs) and that nothing loaded by name after it comes from the folder.
//
// version.dll, imm32.dll and uxtheme.dll are not planted: Wine's own comctl32 and user32
// load them while Wine starts the process, before the program's entry point, where no code
// of the program can restrict anything (on Windows the load configuration's dependent-load
// flag covers such loads). The planted DLL exports nothing, and Wine's comctl32 aborts the
// process when it calls a missing function of a planted version.dll.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"

namespace {

// System DLLs that are not KnownDLLs and that Windows' or Wine's own DLLs load by name.
constexpr const char* kPlantedNames[] = {"dwmapi",  "winmm",  "userenv",  "propsys",
                                         "oleacc",  "bcrypt", "cryptbase", "secur32"};
constexpr char kMarkerSuffix[] = ".dll.loaded";

ScenarioBatch* Batch = nullptr;

std::string NativeFirstOverrides() {
  std::string overrides;
  for (const char* name : kPlantedNames) {
    overrides += std::string(overrides.empty() ? "" : ";") + name + "=n,b";
  }
  return overrides;
}

}  // namespace

class PlantedDllEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite() {
    Batch = new ScenarioBatch;
    if (!Batch->Prepare()) return;
    std::string plantedDll;
    if (!ReadBinaryFile(Batch->WindowsBuild() + "/tests/e2e/planted-dll.dll", plantedDll)) {
      Batch->setupError = "no tests/e2e/planted-dll.dll in " + Batch->WindowsBuild();
      return;
    }
    Scenario& s = Batch->Add("planted_dlls");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Batch->Installer({Manifest("1.0.5 = 1.0.4\r\n" + kNotes936),
                                     Entry("Data/a.dat", "a")}));
    for (const char* name : kPlantedNames) {
      s.Put(std::string("updates/") + name + ".dll", plantedDll);
    }
    s.LaunchAndInstall();
    // scripts/wine-env.sh adds these to the overrides it always sets.
    setenv("VANTIS_WINE_DLL_OVERRIDES", NativeFirstOverrides().c_str(), 1);
    Batch->Play("planted DLLs");
    unsetenv("VANTIS_WINE_DLL_OVERRIDES");
  }
  static void TearDownTestSuite() {
    Batch->Finish(CurrentSuiteFailed());
    delete Batch;
    Batch = nullptr;
  }

 protected:
  void SetUp() override { RequireBatch(*Batch); }
};

TEST_F(PlantedDllEndToEnd, InstallsWithoutLoadingThem) {
  const Scenario& s = Batch->scenarios.at("planted_dlls");
  ExpectTranscript(*Batch, s);
  FileTree after = s.GameFiles();
  std::string loaded;
  for (const char* name : kPlantedNames) {
    if (after.erase(std::string("updates/") + name + kMarkerSuffix) != 0) {
      loaded += std::string(" ") + name;
    }
  }
  EXPECT_EQ(loaded, "") << "loaded from the installer's folder";
  ExpectFiles(after, s.GameBeforeWith({{"Data/a.dat", "a"}, {"Bin/version.xml", kVersionFile105}}));
}

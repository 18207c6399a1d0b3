// A signed installer, as a publisher ships it: built by vantis-pack's build, signed by
// osslsigncode with a throwaway certificate that openssl makes here, accepted by
// osslsigncode verify, and installed by the real installer under Wine. The same installer
// with its package damaged after signing shows the damaged-package box.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "EndToEndBatch.h"
#include "InstallerExpectations.h"

namespace {

struct SigningBatch {
  ScenarioBatch batch;
  std::string signedInstaller;
  size_t builtLength = 0;  // build makes it a multiple of 8, so the table starts there
  int verifyStatus = -1;
  std::string verifyLog;
};

SigningBatch* Signing = nullptr;

// Runs a signing tool; a tool that is not installed makes the batch skip.
bool RunTool(const std::string& program, const std::vector<std::string>& arguments,
             std::string& log, int& status) {
  const std::string logPath = Signing->batch.root + "/" + program + ".log";
  status = RunProgram(program, arguments, "", logPath);
  ReadBinaryFile(logPath, log);
  if (status == -1) {
    Signing->batch.skipReason = program + " cannot be run; scripts/setup.sh installs it";
    return false;
  }
  return true;
}

// The publisher's steps. LF line ends in the notes: build converts them.
bool BuildAndSign() {
  const std::string work = Signing->batch.root + "/publisher";
  const FileTree files = {
      {"config.txt", "1.0.5 = 1.0.4\n本补丁修复了存档读取问题。\n更新后请重新启动游戏。"},
      {"Bin/game.dll", Noise(70000, 12)},
      {"Data/maps/level1.map", "level one"}};
  std::string built;
  if (!BuildWithPacker(Signing->batch, work, files, built)) return false;
  Signing->builtLength = built.size();

  std::string log;
  int status = 0;
  if (!RunTool("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                           work + "/key.pem", "-out", work + "/cert.pem", "-days", "2", "-subj",
                           "/CN=Vantis test publisher"},
               log, status)) {
    return false;
  }
  if (status == 0 &&
      !RunTool("osslsigncode", {"sign", "-certs", work + "/cert.pem", "-key", work + "/key.pem",
                                "-n", "Vantis patch", "-in", work + "/built.exe", "-out",
                                work + "/signed.exe"},
               log, status)) {
    return false;
  }
  if (status != 0 || !ReadBinaryFile(work + "/signed.exe", Signing->signedInstaller)) {
    Signing->batch.setupError = "making the certificate or signing failed: " + log;
    return false;
  }
  // The certificate is self-signed: it is its own authority.
  return RunTool("osslsigncode", {"verify", "-CAfile", work + "/cert.pem", "-in",
                                  work + "/signed.exe"},
                 Signing->verifyLog, Signing->verifyStatus);
}

void DefineScenarios() {
  {
    Scenario& s = Signing->batch.Add("signed_installer");
    s.PutGame(VersionFile(1, 0, 4));
    s.PutInstaller(Signing->signedInstaller);
    s.LaunchAndInstall();
  }
  {
    // The trailer's top byte, right before the certificate table, flipped: the header it
    // names lies far past the end of the file.
    Scenario& s = Signing->batch.Add("signed_installer_damaged_package");
    s.PutGame(VersionFile(1, 0, 4));
    std::string damaged = Signing->signedInstaller;
    const size_t last = Signing->builtLength - 1;
    damaged[last] = static_cast<char>(damaged[last] ^ 0xFF);
    s.PutInstaller(damaged);
    s.Launch().Box(kPackageDamaged, "1", "error").Press(kOk).Exit(1);
  }
}

}  // namespace

class SignedInstallerEndToEnd : public testing::Test {
 public:
  static void SetUpTestSuite() {
    Signing = new SigningBatch;
    if (!Signing->batch.Prepare() || !BuildAndSign()) return;
    DefineScenarios();
    Signing->batch.Play("signed installer");
  }
  static void TearDownTestSuite() {
    // What a reader of the run wants to see: the signing tool's verdict and the install.
    if (std::getenv("VANTIS_E2E_SHOW")) {
      std::printf("%s", Signing->verifyLog.c_str());
      const auto found = Signing->batch.transcripts.find("signed_installer");
      if (found != Signing->batch.transcripts.end()) {
        for (const std::string& line : found->second) std::printf("  %s\n", line.c_str());
      }
    }
    Signing->batch.Finish(CurrentSuiteFailed());
    delete Signing;
    Signing = nullptr;
  }

 protected:
  void SetUp() override { RequireBatch(Signing->batch); }
};

TEST_F(SignedInstallerEndToEnd, TheSigningToolAcceptsTheSignature) {
  ASSERT_GT(Signing->signedInstaller.size(), Signing->builtLength);
  EXPECT_EQ(Signing->builtLength % 8, 0u) << "signing would have to pad it";
  EXPECT_EQ(Signing->verifyStatus, 0) << Signing->verifyLog;
  EXPECT_NE(Signing->verifyLog.find("Signature verification: ok"), std::string::npos)
      << Signing->verifyLog;
}

TEST_F(SignedInstallerEndToEnd, SignedInstallerInstalls) {
  const Scenario& s = Signing->batch.scenarios.at("signed_installer");
  ExpectTranscript(Signing->batch, s);
  const std::string patch = Signing->batch.root + "/publisher/patch";
  FileTree expected = s.GameBeforeWith(ReadFileTree(patch));
  expected.erase("config.txt");
  expected["Bin/version.xml"] = kVersionFile105;
  ExpectFiles(s.GameFiles(), expected);
}

TEST_F(SignedInstallerEndToEnd, SignedInstallerWithADamagedPackageIsRefused) {
  const Scenario& s = Signing->batch.scenarios.at("signed_installer_damaged_package");
  ExpectTranscript(Signing->batch, s);
  ExpectFiles(s.GameFiles(), s.gameBefore);
}

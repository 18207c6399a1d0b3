// Warnings about manifests the installer reads otherwise than their author wrote them.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "vantis-pack/report/ManifestWarnings.h"

using namespace packtest;

namespace {

TEST(ManifestWarnings, NamesWhatTheInstallerReadsOtherwiseThanWritten) {
  const std::pair<std::string, std::string> cases[] = {
      {"1.0.5 <= 1.0.4\r\nnotes 1.2.3", ""},
      {"1.0.4 = 1.0.5\n", ""},
      {"99999999999 = 1.0.4\n",
       "the patch version's major number 99999999999 is above 255; the installer takes the "
       "version as 255.0.0"},
      {"1.0.5 = 1.300.0\n", "required version's minor number 300 is above 255; the installer "
                            "takes the version as 2.44.0"},
      {"1.0.70000 = 1.0.4\n", "build number 70000 is above 65535"},
      {"1.0.5 <= 1.0.4 extra\nnotes", "text after the required version on the first line, "
                                      "\"extra\"; the installer shows it"},
      {"1.0 = 0.9\n42 notes", "the required version's build number 42 is read from after the "
                              "first line; the installer takes the version as 0.9.42"},
      {"1.0.4 <= 1.0.5\n", "under rule \"<=\" the patch version 1.0.4 is not above the "
                           "required version 1.0.5"},
      {"1.0.5 <= 1.0.5\n", "is not above"},
  };
  for (const auto& [manifest, expected] : cases) {
    const std::vector<std::string> warnings = FindManifestWarnings(manifest);
    if (expected.empty()) {
      EXPECT_TRUE(warnings.empty()) << manifest << ": " << testing::PrintToString(warnings);
    } else {
      ASSERT_EQ(warnings.size(), 1u) << manifest << ": " << testing::PrintToString(warnings);
      EXPECT_NE(warnings[0].find(expected), std::string::npos) << warnings[0];
    }
  }

  Workspace work;
  work.Add("config.txt", "1.0.5 <= 1.0.4 extra\n");
  const Outcome built = Build(work.Options());
  EXPECT_TRUE(built.ok) << "warned, not refused";
  EXPECT_NE(built.err.find("vantis-pack: warning: config.txt: text after"), std::string::npos)
      << built.err;
}

}  // namespace

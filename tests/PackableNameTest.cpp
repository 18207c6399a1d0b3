// File names as entry names in code page 936, or the reason they cannot be.

#include <gtest/gtest.h>

#include "PackTestSupport.h"
#include "vantis-pack/names/PackableName.h"

using namespace packtest;

namespace {

TEST(PackableName, ConvertsToCodePage936OrSaysWhy) {
  std::string entry;
  std::string reason;
  ASSERT_TRUE(ConvertToPackableName("\xE5\x9C\xB0\xE5\x9B\xBE/a b.txt", entry, reason));
  EXPECT_EQ(entry, "\xB5\xD8\xCD\xBC/a b.txt");

  const std::pair<std::string, std::string> refused[] = {
      {"Bin/LPT1.dll", "reserved device name"},  {"aux", "reserved device name"},
      {"a/b./c", "ends with a dot"},             {"a<b", "character '<'"},
      {"a|b", "character '|'"},                  {"a*", "character '*'"},
      {"a\"b", "character '\"'"},                {std::string(256, 'n'), "longer than 255"},
      {std::string(200, 'n') + "/" + std::string(59, 'n'), "path longer than 259"},
      {"\xF0\x9F\x98\x80.png", "code page 936"},
  };
  for (const auto& [name, why] : refused) {
    EXPECT_FALSE(ConvertToPackableName(name, entry, reason)) << name;
    EXPECT_NE(reason.find(why), std::string::npos) << name << ": " << reason;
  }
}

}  // namespace

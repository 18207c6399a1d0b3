#include "package/format/EntryName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void ExpectAll(bool expected, std::initializer_list<std::string> names) {
  for (const std::string& name : names) {
    EXPECT_EQ(IsSafeEntryName(name), expected) << '"' << name << '"';
  }
}

}  // namespace

TEST(EntryName, AcceptsNamesBelowTheFolder) {
  ExpectAll(true, {"config.txt", "Bin/Vantis.exe", "Bin\\version.xml", "Data/maps\\a b.dat",
                   ".hidden", "a..b", "x/.profile", "a~1", "DATA/CONFIG.TXT", "name with space.x",
                   std::string("\x80\xFF", 2)});
}

TEST(EntryName, RejectsNamesThatLeaveTheFolderOrAliasAnother) {
  ExpectAll(false, {"", "/a", "\\a", "//server/share/a", "a/", "a\\", "a//b", "a\\\\b",
                    ".", "..", "./a", "../a", "a/../b", "a\\..\\..\\b", "a/..", "a/.",
                    "a.", "a ", "dir./a", "dir /a", "a/...", "a. .",
                    "C:x", "C:\\Windows\\x", "a:stream", "a.txt::$DATA",
                    "a\tb", "a\nb", "\x1F", "a\rb", std::string("a\0b", 3)});
}

TEST(EntryName, RejectsDeviceNamesInAnyComponentCaseAndExtension) {
  ExpectAll(false, {"CON", "con", "Con.txt", "nul.tar.gz", "AUX/x", "x/prn", "a\\Nul.dat",
                    "COM1", "com9.log", "LPT1", "lpt9.x", "CON .txt", "conin$", "CONOUT$.x"});
  ExpectAll(true, {"CONSOLE", "con1", "nul_", "COM0", "COM10", "LPT0.txt", "lpt", "auxiliary/a",
                   "x/com", "CONIN", "prn2.dat"});
}

TEST(EntryName, ReadsCodePage936PairsAsOneCharacter) {
  // 补丁/文件.txt, and characters whose trail byte is 0x5C: no separator there, so no empty
  // component follows it.
  ExpectAll(true, {"\xB2\xB9\xB6\xA1/\xCE\xC4\xBC\xFE.txt", "\xD5\x5C", "a\x95\x5C/b",
                   "\x95\x5C" "CONSOLE", "\x95\x5C.dat", "\x81\x40\xFE\xFE"});
  // The pair still ends its component: a trail byte is no dot, but what follows can be.
  ExpectAll(false, {"\x81\x5C..", "\x81\x5C.", "\xD5\x5C/", "\xD5\x5C/../a"});
  // A single-byte code page splits at that 0x5C: a device or a dot-ending name follows.
  ExpectAll(false, {"\x81\x5CNUL", "\x95\x5C" "CON", "a\x95\x5C" "aux.txt/b", "\xD5\x5C" "com1"});
  // A lead byte without a valid trail byte would swallow the byte after it.
  ExpectAll(false, {"\xB2", "ab\xB2", "\xB2/a", "\xB2 a", "\xB2:", "\xB2\x7F", "\xB2\xFF",
                    "\xB2\x3F"});
}

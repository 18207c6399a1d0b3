#pragma once
// Which entry names the installer may write below the game folder.

#include <string>

// True when `name`, appended to the game folder and converted from the system's code page,
// names a file inside that folder and no device. Names are written in code page 936, where a
// lead byte 0x81-0xFE and its trail byte form one character, so a trail byte 0x5C is no
// separator; but a player's system may read them in a single-byte code page, where every
// 0x5C separates. A name must be safe in both readings (any other double-byte code page
// splits a name at a subset of the 0x5C bytes, so the single-byte reading covers it too).
//
// In the code page 936 reading:
// Rejected: the empty name; bytes below 0x20; a leading "/" or "\"; ":" anywhere (drive
// letters and alternate streams); a lead byte without a valid trail byte (0x40-0xFE except
// 0x7F), since the system's conversion would swallow the byte after it; and any component
// (between "/" or "\") that is empty, ends in "." or " " (which covers "." and ".."; the
// system strips such endings, so they alias another name), or is a device name (CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9, in any case, with or without an extension).
// In the single-byte reading: a component that ends in "." or " " or is a device name.
bool IsSafeEntryName(const std::string& name);

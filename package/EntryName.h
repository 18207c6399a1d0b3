#pragma once
// Which entry names the installer may write below the game folder.

#include <string>

// True when `name`, appended to the game folder and handed to the ANSI file functions,
// names a file inside that folder and no device. Names are code page 936 bytes: a lead byte
// 0x81-0xFE and its trail byte form one character, so a trail byte 0x5C is no separator.
//
// Rejected: the empty name; bytes below 0x20; a leading "/" or "\"; ":" anywhere (drive
// letters and alternate streams); a lead byte without a valid trail byte (0x40-0xFE except
// 0x7F), since the system's conversion would swallow the byte after it; and any component
// (between "/" or "\") that is empty, ends in "." or " " (which covers "." and ".."; the
// system strips such endings, so they alias another name), or is a device name (CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9, in any case, with or without an extension).
bool IsSafeEntryName(const std::string& name);

#pragma once
// Narrow text for the wide-character functions. The dialog is a Unicode window, so Chinese
// text reads correctly whatever the system's ANSI code page is; and paths go through the wide
// file functions, so a game folder outside the ANSI code page is still reachable.

#include <string>

// Bytes that are not valid code page 936 become the system's replacement character.
std::wstring WidenCodePage936(const std::string& text);

// The system's ANSI code page, converted as the ANSI file functions convert their narrow
// names: the file lands exactly where those functions would have put it.
std::wstring WidenAnsiCodePage(const std::string& text);

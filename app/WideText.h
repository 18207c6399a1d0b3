#pragma once
// Code page 936 text for the wide-character window functions. The dialog is a Unicode
// window, so Chinese text reads correctly whatever the system's ANSI code page is.

#include <string>

// Bytes that are not valid code page 936 become the system's replacement character.
std::wstring WidenCodePage936(const std::string& text);

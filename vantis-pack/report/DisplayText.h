#pragma once
// Code page 936 text (names, notes, the manifest's first line) as the terminal shows it.

#include <string>

// In UTF-8. Control characters, and every byte of text that is not valid code page 936,
// show as \xNN, so that a damaged name cannot move the cursor or hide itself. Line ends
// stay only where `keepLineEnds` asks for them (a CR LF pair as one line end).
std::string ForDisplay(const std::string& cp936, bool keepLineEnds);

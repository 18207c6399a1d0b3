#pragma once
// How the notes will look in the install dialog's text box on Windows.

#include <cstddef>
#include <string>

// The text box (IDC_NOTES in resources/Installer.rc) is 228 x 26 dialog units. A dialog
// unit is a quarter of the font's average character width and an eighth of its height, so
// the box holds 26 / 8 = 3 lines, and 228 / 4 = 57 average characters less about one for
// the control's margins. In code page 936 a Chinese character is twice as wide as an
// average one, as it takes two bytes: a line's width in characters is about its byte count.
constexpr size_t kNotesBoxLines = 26 / 8;
constexpr size_t kNotesBoxColumns = 228 / 4 - 1;
constexpr size_t kNotesTabColumns = 8;  // the control's tab stops: every 32 dialog units

// Windows' edit control breaks lines only at CR LF. Every LF without a CR before it becomes
// CR LF; returns how many did.
size_t ConvertBareLineFeeds(std::string& text);

struct NotesExtent {
  size_t lineCount = 0;    // line ends at the end of the notes make no line
  size_t widestLine = 0;   // 1-based; 0 when there are no lines
  size_t widestColumns = 0;
};

// The lines of `notes` (code page 936, lines ended by CR LF or LF) and the widest of them.
NotesExtent MeasureNotes(const std::string& notes);

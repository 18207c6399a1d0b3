#include "vantis-pack/report/NotesLayout.h"

size_t ConvertBareLineFeeds(std::string& text) {
  // A code page 936 trail byte is never 0x0A or 0x0D, so the bytes can be scanned singly.
  std::string converted;
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      converted += '\r';
      ++count;
    }
    converted += text[i];
  }
  if (count > 0) text.swap(converted);
  return count;
}

NotesExtent MeasureNotes(const std::string& notes) {
  size_t end = notes.size();
  while (end > 0 && (notes[end - 1] == '\n' || notes[end - 1] == '\r')) --end;

  NotesExtent extent;
  size_t line = 1;
  size_t columns = 0;
  const auto finishLine = [&] {
    if (columns > extent.widestColumns || extent.widestLine == 0) {
      extent.widestColumns = columns;
      extent.widestLine = line;
    }
  };
  if (end == 0) return extent;
  for (size_t i = 0; i < end; ++i) {
    const char c = notes[i];
    if (c == '\r') continue;
    if (c == '\n') {
      finishLine();
      ++line;
      columns = 0;
    } else if (c == '\t') {
      columns = (columns / kNotesTabColumns + 1) * kNotesTabColumns;
    } else {
      ++columns;
    }
  }
  finishLine();
  extent.lineCount = line;
  return extent;
}

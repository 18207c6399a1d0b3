#pragma once
// The whole manifest, config.txt, brought into code page 936: the only encoding the
// installer shows. NotesEncoding is what --notes-encoding names.

#include <string>

enum class NotesEncoding {
  kAuto,   // UTF-8 when the text is valid UTF-8 with non-ASCII bytes, else code page 936
  kUtf8,   // convert from UTF-8; invalid UTF-8 is an error
  kCp936,  // keep the bytes; text that is not valid code page 936 is an error
};

// "auto", "utf-8" (or "utf8"), "cp936" (or "gbk"), any case.
bool ParseNotesEncoding(const std::string& text, NotesEncoding& encoding);

bool IsValidUtf8(const std::string& text);

// The manifest's bytes in code page 936. A UTF-8 byte order mark is dropped: the installer
// would read it as the start of the patch version. `notice` says what was converted, if
// anything; `error` why the text cannot be stored.
bool EncodeManifestText(const std::string& raw, NotesEncoding encoding, std::string& cp936,
                        std::string& notice, std::string& error);

#pragma once
// The installer's message boxes: no owner window and the installer's caption. A box
// without an owner leaves the dialog usable while the worker's question is up.

#include <windows.h>

// `text` is code page 936 (app/Messages.h). Returns the button chosen, as MessageBoxW does.
int ShowMessage(const char* text, UINT flags);

#include "app/MessageBox.h"

#include "app/Messages.h"
#include "app/WideText.h"

int ShowMessage(const char* text, UINT flags) {
  const std::wstring wideText = WidenCodePage936(text);
  const std::wstring wideCaption = WidenCodePage936(kInstallerCaption);
  return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), flags);
}

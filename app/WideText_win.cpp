#include "app/WideText.h"

#include <windows.h>

#include <climits>

namespace {

constexpr UINT kCodePage936 = 936;

std::wstring Widen(UINT codePage, const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int wideLength = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (wideLength <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, &wide[0], wideLength);
  return wide;
}

}  // namespace

std::wstring WidenCodePage936(const std::string& text) { return Widen(kCodePage936, text); }

std::wstring WidenAnsiCodePage(const std::string& text) { return Widen(CP_ACP, text); }

#include "InstallerWindows_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kInstallButtonId = 102;
constexpr int kProgressBarId = 101;
constexpr int kNotesId = 1000;
// Under emulation a busy installer thread can take seconds to answer one message.
constexpr UINT kSendTimeoutMs = 30000;

struct ProcessWindows {
  DWORD processId;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<ProcessWindows*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == found->processId) found->windows.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::vector<HWND> VisibleDialogs(DWORD processId) {
  ProcessWindows found{processId, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&found));
  std::vector<HWND> dialogs;
  for (HWND window : found.windows) {
    if (IsWindowVisible(window) && ClassName(window) == L"#32770") dialogs.push_back(window);
  }
  return dialogs;
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result) {
  return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result) != 0;
}

// WM_GETTEXT is sent rather than read from the window's own title: an edit control keeps
// its text itself, and only the send crosses into the other process for it.
bool ReadControlText(HWND control, std::wstring& text) {
  DWORD_PTR length = 0;
  if (!control || !Send(control, WM_GETTEXTLENGTH, 0, 0, length)) return false;
  std::vector<wchar_t> buffer(length + 1);
  DWORD_PTR copied = 0;
  if (!Send(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), copied)) {
    return false;
  }
  text.assign(buffer.data(), std::min<size_t>(copied, length));
  return true;
}

std::wstring Caption(HWND window) {
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  return caption;
}

// --- Telling the standard icons apart -------------------------------------------------
//
// An icon handle means nothing outside the process that loaded it, so the box's icon is
// compared by its pixels: the icon static's area is copied from the screen and matched
// against the standard icons drawn here on the same background.

using Pixels = std::vector<uint32_t>;  // top-down 0x00RRGGBB

struct Canvas {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  uint32_t* bits = nullptr;

  Canvas(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    bits = static_cast<uint32_t*>(memory);
    if (bitmap) previous = SelectObject(dc, bitmap);
  }
  ~Canvas() {
    if (previous) SelectObject(dc, previous);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  Pixels Copy(size_t count) const {
    Pixels pixels(bits, bits + count);
    for (uint32_t& pixel : pixels) pixel &= 0x00FFFFFFu;
    return pixels;
  }
};

bool CaptureScreen(const RECT& area, Pixels& pixels) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  Canvas canvas(width, height);
  if (!canvas.bits) return false;
  HDC screen = GetDC(nullptr);
  const BOOL copied = BitBlt(canvas.dc, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  GdiFlush();
  if (!copied) return false;
  pixels = canvas.Copy(static_cast<size_t>(width) * static_cast<size_t>(height));
  return true;
}

Pixels DrawStandardIcon(WORD iconId, int width, int height, uint32_t background) {
  Canvas canvas(width, height);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (!canvas.bits) return Pixels(count, 0);
  std::fill(canvas.bits, canvas.bits + count, background);
  HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(iconId));
  DrawIconEx(canvas.dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  GdiFlush();
  return canvas.Copy(count);
}

// Mean over the pixels of the summed absolute differences of the three channels.
double Distance(const Pixels& a, const Pixels& b) {
  uint64_t sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int x = static_cast<int>((a[i] >> shift) & 0xFFu);
      const int y = static_cast<int>((b[i] >> shift) & 0xFFu);
      sum += static_cast<uint64_t>(std::abs(x - y));
    }
  }
  return a.empty() ? 0.0 : static_cast<double>(sum) / static_cast<double>(a.size());
}

struct StandardIcon {
  const char* name;
  WORD id;  // the IDI_ value
};

constexpr StandardIcon kStandardIcons[] = {
    {"error", 32513}, {"question", 32514}, {"warning", 32515}, {"information", 32516}};

// Empty when no standard icon is a clear match; the distances then go to the log.
std::string MatchStandardIcon(const Pixels& shot, int width, int height) {
  std::string best;
  std::string distances;
  double bestDistance = 1e9;
  double secondDistance = 1e9;
  for (const StandardIcon& icon : kStandardIcons) {
    const double distance = Distance(shot, DrawStandardIcon(icon.id, width, height, shot[0]));
    distances += " " + std::string(icon.name) + "=" + std::to_string(distance);
    if (distance < bestDistance) {
      secondDistance = bestDistance;
      bestDistance = distance;
      best = icon.name;
    } else if (distance < secondDistance) {
      secondDistance = distance;
    }
  }
  if (bestDistance < 30.0 && bestDistance * 2.0 < secondDistance) return best;
  std::fprintf(stderr, "no clear icon match:%s\n", distances.c_str());
  return std::string();
}

std::string ClassifyIcon(HWND box, HWND iconStatic) {
  RECT area = {};
  GetWindowRect(iconStatic, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0 || width > 256 || height > 256) return "present";
  // Two boxes of one installer open at once sit centred on top of each other.
  SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (DWORD attempt = 1; attempt <= 5; ++attempt) {
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300 * attempt);
    Pixels shot;
    if (!CaptureScreen(area, shot)) continue;
    const std::string name = MatchStandardIcon(shot, width, height);
    if (!name.empty()) return name;
  }
  return "present";
}

}  // namespace

std::vector<HWND> FindMessageBoxes(DWORD processId) {
  std::vector<HWND> boxes;
  for (HWND dialog : VisibleDialogs(processId)) {
    if (GetDlgItem(dialog, kMessageBoxTextId) && !GetDlgItem(dialog, kInstallButtonId)) {
      boxes.push_back(dialog);
    }
  }
  return boxes;
}

HWND FindInstallDialog(DWORD processId) {
  for (HWND dialog : VisibleDialogs(processId)) {
    if (GetDlgItem(dialog, kInstallButtonId)) return dialog;
  }
  return nullptr;
}

bool ReadMessageBox(HWND box, MessageBoxView& view) {
  MessageBoxView read;
  read.caption = Caption(box);
  if (!ReadControlText(GetDlgItem(box, kMessageBoxTextId), read.text)) return false;

  HWND iconStatic = nullptr;
  for (HWND child : Children(box)) {
    if (!IsWindowVisible(child)) continue;
    const std::wstring className = ClassName(child);
    const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
    if (className == L"Button") {
      read.buttonIds.push_back(GetDlgCtrlID(child));
    } else if (className == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
      DWORD_PTR icon = 0;
      if (Send(child, STM_GETICON, 0, 0, icon) && icon != 0) iconStatic = child;
    }
  }
  std::sort(read.buttonIds.begin(), read.buttonIds.end());
  read.icon = iconStatic ? ClassifyIcon(box, iconStatic) : "none";
  view = std::move(read);
  return true;
}

bool ReadInstallDialog(HWND dialog, InstallDialogView& view) {
  InstallDialogView read;
  read.caption = Caption(dialog);
  if (!ReadControlText(GetDlgItem(dialog, kNotesId), read.notes)) return false;
  HWND progress = GetDlgItem(dialog, kProgressBarId);
  DWORD_PTR low = 0;
  DWORD_PTR high = 0;
  DWORD_PTR position = 0;
  // With no PBRANGE pointer the answer comes back as the result, which crosses processes.
  if (!Send(progress, PBM_GETRANGE, TRUE, 0, low) || !Send(progress, PBM_GETRANGE, FALSE, 0, high) ||
      !Send(progress, PBM_GETPOS, 0, 0, position)) {
    return false;
  }
  read.progressLow = static_cast<int>(low);
  read.progressHigh = static_cast<int>(high);
  read.progressPosition = static_cast<int>(position);
  read.installEnabled = IsWindowEnabled(GetDlgItem(dialog, kInstallButtonId)) != FALSE;
  read.closeEnabled = IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != FALSE;
  view = std::move(read);
  return true;
}

bool PostButtonClick(HWND dialog, int controlId) {
  HWND button = GetDlgItem(dialog, controlId);
  if (!button) return false;
  const auto id = static_cast<WORD>(controlId);
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool SaveWindowImage(HWND window, const std::wstring& path) {
  RECT area;
  if (!GetWindowRect(window, &area)) return false;
  // A window that has just appeared may not have painted yet: its area is then one colour.
  // Wait for it to paint, for a few seconds at most.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pixels pixels;
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (!CaptureScreen(area, pixels)) return false;
    if (std::adjacent_find(pixels.begin(), pixels.end(), std::not_equal_to<uint32_t>()) !=
        pixels.end()) {
      break;
    }
    Sleep(100);
  }
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;

  // A top-down 32-bit BMP: file header, info header, then the pixels as captured.
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = -height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  const auto pixelBytes = static_cast<DWORD>(pixels.size() * sizeof(uint32_t));
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + pixelBytes;

  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  const bool written = std::fwrite(&header, sizeof header, 1, file) == 1 &&
                       std::fwrite(&info, sizeof info, 1, file) == 1 &&
                       std::fwrite(pixels.data(), pixelBytes, 1, file) == 1;
  return std::fclose(file) == 0 && written;
}

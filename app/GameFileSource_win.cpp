#include "app/GameFileSource.h"

#include "app/Installer.h"
#include "app/WideText.h"

GameFileSource::GameFileSource(const std::string& relativeName) {
  std::wstring path = GameFolder + WidenAnsiCodePage(relativeName);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
  LARGE_INTEGER size;
  if (handle_ != INVALID_HANDLE_VALUE && !GetFileSizeEx(handle_, &size)) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  if (handle_ != INVALID_HANDLE_VALUE) length_ = static_cast<uint64_t>(size.QuadPart);
}

GameFileSource::~GameFileSource() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

DeltaSource GameFileSource::AsDeltaSource() {
  DeltaSource source;
  source.length = length_;
  source.read = Read;
  source.context = this;
  return source;
}

bool GameFileSource::Read(uint64_t offset, uint8_t* buffer, uint32_t length, void* context) {
  auto* self = static_cast<GameFileSource*>(context);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  return SetFilePointerEx(self->handle_, position, nullptr, FILE_BEGIN) &&
         ReadFile(self->handle_, buffer, length, &read, nullptr) && read == length;
}

#pragma once
// A host with the headers of a PE32 program, and the signing step done the way signing tools
// do it: zero bytes up to a multiple of 8, then a certificate table whose place the security
// data directory records. The table's content is never read by the installer, so any bytes
// stand in for a real signature.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fake_pe {

constexpr size_t kPeOffset = 0x40;
constexpr size_t kOptionalHeader = kPeOffset + 24;
constexpr size_t kOptionalHeaderLength = 224;  // PE32 with 16 data directories
constexpr size_t kSecurityEntry = kOptionalHeader + 96 + 4 * 8;
constexpr size_t kHeadersEnd = kOptionalHeader + kOptionalHeaderLength;

inline void Store16(std::string& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<char>(value);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

inline void Store32(std::string& bytes, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace fake_pe

// `length` bytes (at least the headers') starting with a PE32 program's headers.
inline std::string MakePeHost(size_t length) {
  using namespace fake_pe;
  std::string host(length < kHeadersEnd ? kHeadersEnd : length, 'h');
  host.replace(0, kHeadersEnd, kHeadersEnd, '\0');
  host[0] = 'M';
  host[1] = 'Z';
  Store32(host, 0x3C, kPeOffset);
  host.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  Store16(host, kPeOffset + 4 + 16, kOptionalHeaderLength);
  Store16(host, kOptionalHeader, 0x10B);
  Store32(host, kOptionalHeader + 92, 16);
  return host;
}

// Points the security entry at `offset` and `length` as given, however wrong.
inline void SetSecurityEntry(std::string& file, uint32_t offset, uint32_t length) {
  fake_pe::Store32(file, fake_pe::kSecurityEntry, offset);
  fake_pe::Store32(file, fake_pe::kSecurityEntry + 4, length);
}

// `file` (from MakePeHost, a package perhaps appended) as a signing tool leaves it.
inline std::string SignForTest(std::string file, uint32_t tableLength = 1024) {
  file.append((8 - file.size() % 8) % 8, '\0');
  const auto offset = static_cast<uint32_t>(file.size());
  std::string table(tableLength, '\x5A');
  if (tableLength >= 8) {
    fake_pe::Store32(table, 0, tableLength);
    fake_pe::Store16(table, 4, 0x0200);  // WIN_CERT_REVISION_2_0
    fake_pe::Store16(table, 6, 0x0002);  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
  }
  file += table;
  SetSecurityEntry(file, offset, tableLength);
  return file;
}

#include "package/format/DirectoryRecord.h"

#include <cassert>
#include <utility>

#include "platform/ByteOrder.h"

bool ParseDirectoryRecords(const uint8_t* data, uint32_t length, DirectoryMap& directory) {
  ByteCursor cursor(data, length);
  while (!cursor.AtEnd()) {
    const uint16_t nameLength = cursor.TakeU16();
    std::string name = cursor.TakeBytes(nameLength);
    PackageEntry entry;
    entry.aux1 = cursor.TakeU8();
    entry.aux2 = cursor.TakeU8();
    entry.offset = cursor.TakeU32();
    entry.size = cursor.TakeU32();
    entry.aux3 = cursor.TakeU32();
    if (cursor.Failed()) return false;
    directory.insert_or_assign(std::move(name), entry);
  }
  return true;
}

std::string EncodeDirectoryRecord(const std::string& name, const PackageEntry& fields) {
  assert(name.size() <= 0xFFFF && "the name length field is 16 bits");
  std::string bytes;
  AppendLittleEndian16(bytes, static_cast<uint32_t>(name.size()));
  bytes += name;
  bytes.push_back(static_cast<char>(fields.aux1));
  bytes.push_back(static_cast<char>(fields.aux2));
  AppendLittleEndian32(bytes, fields.offset);
  AppendLittleEndian32(bytes, fields.size);
  AppendLittleEndian32(bytes, fields.aux3);
  return bytes;
}

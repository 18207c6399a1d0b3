#pragma once
// Integers as the package and Windows programs store them: little-endian, except the chunk
// headers' big-endian plain lengths. Loads read from `p` on, which the caller has checked
// holds the bytes; ByteCursor checks for itself.

#include <cstdint>
#include <string>

inline uint16_t LoadLittleEndian16(const uint8_t* p) {
  return static_cast<uint16_t>(p[1] << 8 | p[0]);
}

inline uint32_t LoadLittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[1]) << 8 | p[0];
}

inline uint16_t LoadBigEndian16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

inline uint32_t LoadBigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

inline void AppendLittleEndian16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8 & 0xFF));
}

inline void AppendLittleEndian32(std::string& out, uint32_t value) {
  AppendLittleEndian16(out, value & 0xFFFF);
  AppendLittleEndian16(out, value >> 16);
}

inline void AppendBigEndian16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value >> 8 & 0xFF));
  out.push_back(static_cast<char>(value & 0xFF));
}

inline void AppendBigEndian32(std::string& out, uint32_t value) {
  AppendBigEndian16(out, value >> 16);
  AppendBigEndian16(out, value & 0xFFFF);
}

// Reads little-endian fields from a byte range. The first field that would run past the
// end fails the cursor, and every later field then fails too, so a parser checks once at
// the end.
class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, uint32_t length) : data_(data), length_(length) {}

  bool Failed() const { return failed_; }
  bool AtEnd() const { return position_ == length_; }

  uint8_t TakeU8() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
  }

  uint16_t TakeU16() {
    const uint8_t* p = Take(2);
    return p ? LoadLittleEndian16(p) : 0;
  }

  uint32_t TakeU32() {
    const uint8_t* p = Take(4);
    return p ? LoadLittleEndian32(p) : 0;
  }

  std::string TakeBytes(uint32_t count) {
    const uint8_t* p = Take(count);
    return p ? std::string(reinterpret_cast<const char*>(p), count) : std::string();
  }

 private:
  const uint8_t* Take(uint32_t count) {
    if (failed_ || count > length_ - position_) {
      failed_ = true;
      return nullptr;
    }
    const uint8_t* p = data_ + position_;
    position_ += count;
    return p;
  }

  const uint8_t* data_;
  uint32_t length_;
  uint32_t position_ = 0;
  bool failed_ = false;
};

#pragma once
// What every fuzzer shares. Each fuzzer is one file that defines FuzzOne for one untrusted
// input. FuzzDriver.cpp hands it to libFuzzer; ReplayMain.cpp runs it over the committed
// corpus and the past crashes, so that both replay in ordinary test runs built by any
// compiler, the 32-bit and Windows ones included.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/File.h"

// Runs one input and checks the fuzzer's property with FUZZ_CHECK. Returns 0, as libFuzzer
// expects of an input it may keep in the corpus.
int FuzzOne(const uint8_t* data, size_t size);

// A property check that holds in every build type, unlike assert: it aborts with the
// condition, so libFuzzer saves the input and a replay fails.
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))
[[noreturn]] void FuzzCheckFailed(const char* condition, const char* file, int line);

// The input being replayed, named in a failure report; null under libFuzzer, which saves
// the input itself.
extern const char* FuzzInputName;

// The product reads packages and version files only through paths, so file inputs go
// through one file per process, rewritten for every input. Aborts when it cannot write.
void WriteFuzzFile(const void* data, size_t size);
const NativePath& FuzzFilePath();

// Takes values from the front of a fuzz input. An exhausted input yields zeros and empty
// strings, so every byte string decodes to some structure.
class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Remaining() const { return size_ - position_; }

  uint8_t TakeByte() { return position_ < size_ ? data_[position_++] : 0; }

  uint16_t TakeU16() {
    const uint32_t low = TakeByte();
    return static_cast<uint16_t>(low | static_cast<uint32_t>(TakeByte()) << 8);
  }

  uint32_t TakeU32() {
    const uint32_t low = TakeU16();
    return low | static_cast<uint32_t>(TakeU16()) << 16;
  }

  // Up to `count` bytes: fewer when the input ends first.
  std::string TakeBytes(size_t count) {
    const size_t taken = count < Remaining() ? count : Remaining();
    std::string bytes(reinterpret_cast<const char*>(data_ + position_), taken);
    position_ += taken;
    return bytes;
  }

  std::string TakeRest() { return TakeBytes(Remaining()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// libFuzzer's entry point for every fuzzer: the property lives in the fuzzer's FuzzOne.

#include "FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzOne(data, size);
}

// Property: ApplyDelta over any body, against any source, never reads outside the source,
// never hands the sink more than the target limit, and succeeds only with a target whose
// length the body's header names; it never crashes or reads outside the body (the
// sanitizers watch that). CheckDeltaStructure takes every body ApplyDelta takes, with the
// same target length: what it leaves unchecked depends on the source's content alone.
//
// Input: the source's length (u16, little-endian), the source, then the body.

#include <string>

#include "FuzzTarget.h"
#include "delta/DeltaDecoder.h"
#include "delta/DeltaFormat.h"

namespace {

constexpr uint64_t kTargetLimit = 1u << 20;

bool ReadSource(uint64_t offset, uint8_t* buffer, uint32_t length, void* context) {
  const std::string& source = *static_cast<const std::string*>(context);
  FUZZ_CHECK(offset <= source.size() && length <= source.size() - offset);
  const size_t start = static_cast<size_t>(offset);
  for (uint32_t i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(source[start + i]);
  return true;
}

bool CountTarget(const uint8_t*, uint32_t length, void* context) {
  uint64_t& total = *static_cast<uint64_t*>(context);
  total += length;
  FUZZ_CHECK(total <= kTargetLimit);
  return true;
}

}  // namespace

int FuzzOne(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  std::string source = input.TakeBytes(input.TakeU16());
  const std::string body = input.TakeRest();

  DeltaSource view;
  view.length = source.size();
  view.read = ReadSource;
  view.context = &source;
  uint64_t total = 0;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(body.data());
  if (ApplyDelta(bytes, body.size(), view, kTargetLimit, CountTarget, &total)) {
    const uint8_t* at = bytes + sizeof kDeltaMagic;
    uint64_t sourceLength = 0, targetLength = 0;
    FUZZ_CHECK(GetVarint(at, bytes + body.size(), sourceLength));
    FUZZ_CHECK(GetVarint(at, bytes + body.size(), targetLength));
    FUZZ_CHECK(sourceLength == source.size() && targetLength == total);
    uint64_t structureLength = 0;
    FUZZ_CHECK(CheckDeltaStructure(bytes, body.size(), source.size(), kTargetLimit,
                                   structureLength));
    FUZZ_CHECK(structureLength == total);
  }
  return 0;
}

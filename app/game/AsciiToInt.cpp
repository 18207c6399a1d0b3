#include "app/game/AsciiToInt.h"

namespace {

// isspace in the C locale; the version file is read before any locale is set.
bool IsCSpace(unsigned char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

bool IsDigit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

}  // namespace

int32_t AsciiToInt(const char* text) {
  const auto* cursor = reinterpret_cast<const unsigned char*>(text);
  while (IsCSpace(*cursor)) ++cursor;

  bool negative = false;
  if (*cursor == '+' || *cursor == '-') {
    negative = *cursor == '-';
    ++cursor;
  }

  // The magnitude is kept in unsigned arithmetic and capped at the largest value the sign
  // allows, so even an endless run of digits neither overflows nor wraps back into range.
  const uint32_t limit = negative ? 2147483648u : 2147483647u;
  uint32_t magnitude = 0;
  for (; IsDigit(*cursor); ++cursor) {
    const uint32_t digit = static_cast<uint32_t>(*cursor - '0');
    if (magnitude > (limit - digit) / 10u) {
      magnitude = limit;
    } else {
      magnitude = magnitude * 10u + digit;
    }
  }

  if (!negative) return static_cast<int32_t>(magnitude);
  // 2147483648 has no positive int32_t to negate.
  if (magnitude == 2147483648u) return INT32_MIN;
  return -static_cast<int32_t>(magnitude);
}

#pragma once

#include <cstdint>

// The C library's atoi as it behaves on overflow in practice, but defined: leading white
// space (isspace in the C locale: space, \t, \n, \v, \f, \r), an optional sign, decimal
// digits up to the first other byte; values beyond the signed 32-bit range saturate to
// 2147483647 or -2147483648; no digits give 0.
int32_t AsciiToInt(const char* text);

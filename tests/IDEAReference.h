#pragma once
// IDEA encryption written apart from crypto/ on purpose, for the tests only: the schedule
// from the rotating 128-bit key, the product by division, one block at a time. Agreement
// with it on random data checks the block paths' low-minus-high reduction and their word
// recurrence across many operands, in both directions.

#include "TestBytes.h"

// `data` (whole blocks) encrypted under the first min(key length, 16) bytes of `key` over
// 16 zero bytes.
Bytes EncryptIDEAReference(const Bytes& key, const Bytes& data);

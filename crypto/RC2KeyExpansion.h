#pragma once
// The directory cipher's key expansion, shared by the decryptor and the package writer.

#include <cstdint>

// The first stage of RFC 2268's expansion only, over the first min(keyLength, 128) bytes:
// the key bytes are kept as they are and the rest of the 128 bytes are drawn from PITABLE.
// The effective-key-length stage is left out, so L[0] stays the first key byte. An empty
// key has no expansion; it gives the all-zero key.
void ExpandRC2VariantKeyWords(const uint8_t* key, uint32_t keyLength, uint16_t (&k)[64]);

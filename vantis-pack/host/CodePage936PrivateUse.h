#pragma once
// The two-byte codes of code page 936 that Windows maps to the Private Use Area and the C
// library's table leaves out, so that the tool reads and writes them as the installer's
// system does. Windows defines every two-byte code (a lead byte 0x81-0xFE and a trail byte
// 0x40-0xFE other than 0x7F): the user-defined areas AAA1-AFFE, F8A1-FEFE and A140-A7A0
// map to U+E000-U+E765 in that order, and the codes the standard leaves unassigned, in
// byte order, to U+E766-U+E864.

#include <cstdint>

// False when `lead` and `trail` are no such code.
bool DecodeCp936PrivateUse(uint8_t lead, uint8_t trail, uint32_t& code);

// False when `code` is no such character.
bool EncodeCp936PrivateUse(uint32_t code, uint8_t& lead, uint8_t& trail);

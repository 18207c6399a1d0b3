#include "vantis-pack/host/CodePage936PrivateUse.h"

namespace {

struct UserDefinedArea {
  uint8_t firstLead, lastLead, firstTrail, lastTrail;
  uint32_t firstCode;
};

// Trail byte 0x7F is never part of a code, so the third area has 96 trails a lead.
constexpr UserDefinedArea kUserDefinedAreas[] = {
    {0xAA, 0xAF, 0xA1, 0xFE, 0xE000},
    {0xF8, 0xFE, 0xA1, 0xFE, 0xE234},
    {0xA1, 0xA7, 0x40, 0xA0, 0xE4C6},
};

// The unassigned codes, as runs of consecutive codes (lead << 8 | trail), in byte order;
// U+E766 onward in this order. Measured with Windows' MultiByteToWideChar against the
// standard's table.
constexpr uint16_t kUnassignedRuns[][2] = {
    {0xA2AB, 0xA2B0}, {0xA2E3, 0xA2E4}, {0xA2EF, 0xA2F0}, {0xA2FD, 0xA2FE}, {0xA4F4, 0xA4FE},
    {0xA5F7, 0xA5FE}, {0xA6B9, 0xA6C0}, {0xA6D9, 0xA6DF}, {0xA6EC, 0xA6ED}, {0xA6F3, 0xA6F3},
    {0xA6F6, 0xA6FE}, {0xA7C2, 0xA7D0}, {0xA7F2, 0xA7FE}, {0xA896, 0xA8A0}, {0xA8BC, 0xA8BC},
    {0xA8BF, 0xA8BF}, {0xA8C1, 0xA8C4}, {0xA8EA, 0xA8FE}, {0xA958, 0xA958}, {0xA95B, 0xA95B},
    {0xA95D, 0xA95F}, {0xA989, 0xA995}, {0xA997, 0xA9A3}, {0xA9F0, 0xA9FE}, {0xD7FA, 0xD7FE},
    {0xFE50, 0xFE7E}, {0xFE80, 0xFEA0},
};
constexpr uint32_t kFirstUnassignedCode = 0xE766;

uint32_t TrailIndex(const UserDefinedArea& area, uint8_t trail) {
  const uint32_t index = static_cast<uint32_t>(trail - area.firstTrail);
  return trail > 0x7F && area.firstTrail < 0x7F ? index - 1 : index;
}

uint32_t TrailsPerLead(const UserDefinedArea& area) {
  return TrailIndex(area, area.lastTrail) + 1;
}

}  // namespace

bool DecodeCp936PrivateUse(uint8_t lead, uint8_t trail, uint32_t& code) {
  if (trail == 0x7F) return false;
  for (const UserDefinedArea& area : kUserDefinedAreas) {
    if (lead >= area.firstLead && lead <= area.lastLead && trail >= area.firstTrail &&
        trail <= area.lastTrail) {
      code = area.firstCode + (lead - area.firstLead) * TrailsPerLead(area) +
             TrailIndex(area, trail);
      return true;
    }
  }
  const uint32_t pair = static_cast<uint32_t>(lead) << 8 | trail;
  uint32_t next = kFirstUnassignedCode;
  for (const auto& run : kUnassignedRuns) {
    if (pair >= run[0] && pair <= run[1]) {
      code = next + (pair - run[0]);
      return true;
    }
    next += static_cast<uint32_t>(run[1] - run[0]) + 1;
  }
  return false;
}

bool EncodeCp936PrivateUse(uint32_t code, uint8_t& lead, uint8_t& trail) {
  for (const UserDefinedArea& area : kUserDefinedAreas) {
    const uint32_t perLead = TrailsPerLead(area);
    const uint32_t count = (area.lastLead - area.firstLead + 1u) * perLead;
    if (code >= area.firstCode && code < area.firstCode + count) {
      const uint32_t offset = code - area.firstCode;
      lead = static_cast<uint8_t>(area.firstLead + offset / perLead);
      uint32_t index = offset % perLead;
      // Step over 0x7F where the area's trails run across it.
      if (area.firstTrail < 0x7F && area.firstTrail + index >= 0x7F) ++index;
      trail = static_cast<uint8_t>(area.firstTrail + index);
      return true;
    }
  }
  uint32_t next = kFirstUnassignedCode;
  for (const auto& run : kUnassignedRuns) {
    const uint32_t length = static_cast<uint32_t>(run[1] - run[0]) + 1;
    if (code >= next && code < next + length) {
      const uint32_t pair = run[0] + (code - next);
      lead = static_cast<uint8_t>(pair >> 8);
      trail = static_cast<uint8_t>(pair & 0xFF);
      return true;
    }
    next += length;
  }
  return false;
}

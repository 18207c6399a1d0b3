#pragma once
// Assembles a delta body (DeltaFormat.h) from runs in target order: cuts it into blocks,
// compresses each block's streams and hands the body to the sink block by block, so the
// encoder holds one block of output whatever the target's size.

#include <cstdint>
#include <vector>

#include "delta/DeltaEncoder.h"

struct DeltaBodyWriter {
  DeltaBodySink sink = nullptr;
  void* context = nullptr;
  uint64_t bodyLimit = UINT64_MAX;
  int compressionLevel = 9;

  uint64_t bodyLength = 0;
  bool abandoned = false;  // the body passed bodyLimit

  // The block being gathered, and its instruction not yet written.
  std::vector<uint8_t> instructions, diff, fresh;
  uint32_t blockTargetLength = 0;
  uint64_t openAddLength = 0, openCopyLength = 0;
  uint64_t sourceNext = 0;  // where the decoder's source position stands after the open add
  uint32_t crc = 0;
};

bool StartDeltaBody(DeltaBodyWriter& writer, uint64_t sourceLength, uint64_t targetLength);
// `length` target bytes made from the source from `sourceOffset` (`source` points there)
// plus diff bytes.
bool AddDeltaRun(DeltaBodyWriter& writer, const uint8_t* source, uint64_t sourceOffset,
                 const uint8_t* target, uint64_t length);
// `length` target bytes stored as they are.
bool CopyDeltaRun(DeltaBodyWriter& writer, const uint8_t* target, uint64_t length);
bool FinishDeltaBody(DeltaBodyWriter& writer);

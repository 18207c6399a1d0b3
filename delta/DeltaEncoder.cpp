#include "delta/DeltaEncoder.h"

bool EncodeDelta(const uint8_t*, size_t, const uint8_t*, size_t, const DeltaEncoderOptions&,
                 DeltaBodySink, void*, DeltaEncoderResult& result) {
  result = {};
  return false;  // placeholder until the encoder lands
}

bool EncodeDeltaFiles(const std::filesystem::path&, const std::filesystem::path&,
                      const DeltaEncoderOptions&, DeltaBodySink, void*,
                      DeltaEncoderResult& result, std::string& error) {
  result = {};
  error = "deltas are not built yet";
  return false;
}

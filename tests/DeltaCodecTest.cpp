// The delta codec: round trips over the kinds of change games ship (code whose addresses
// moved, archives with members added and dropped, edited text, and the degenerate files),
// through blocks and source windows; the suffix array against a plain sort; the decoder
// against damaged and hand-made bodies, with a source reader that fails the test on any
// read outside the source.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TempFile.h"
#include "delta/DeltaDecoder.h"
#include "delta/DeltaEncoder.h"
#include "delta/DeltaFormat.h"
#include "delta/SuffixArray.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t length, unsigned seed, unsigned alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes bytes(length);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng() % alphabet);
  return bytes;
}

bool CollectBody(const uint8_t* data, size_t length, void* context) {
  Bytes& body = *static_cast<Bytes*>(context);
  body.insert(body.end(), data, data + length);
  return true;
}

bool CollectTarget(const uint8_t* data, uint32_t length, void* context) {
  Bytes& target = *static_cast<Bytes*>(context);
  target.insert(target.end(), data, data + length);
  return true;
}

bool ReadSource(uint64_t offset, uint8_t* buffer, uint32_t length, void* context) {
  const Bytes& source = *static_cast<const Bytes*>(context);
  EXPECT_LE(offset + length, source.size()) << "read past the source";
  if (offset + length > source.size()) return false;
  std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(offset), length, buffer);
  return true;
}

DeltaSource SourceOf(const Bytes& source) {
  DeltaSource view;
  view.length = source.size();
  view.read = ReadSource;
  view.context = const_cast<Bytes*>(&source);
  return view;
}

Bytes Encode(const Bytes& source, const Bytes& target, const DeltaEncoderOptions& options = {}) {
  Bytes body;
  DeltaEncoderResult result;
  EXPECT_TRUE(EncodeDelta(source.data(), source.size(), target.data(), target.size(), options,
                          CollectBody, &body, result));
  EXPECT_EQ(result.bodyLength, body.size());
  return body;
}

bool Apply(const Bytes& body, const Bytes& source, Bytes& target,
           uint64_t targetLimit = UINT64_MAX) {
  target.clear();
  return ApplyDelta(body.data(), body.size(), SourceOf(source), targetLimit, CollectTarget,
                    &target);
}

// Code-like bytes: a stream of instructions with 32-bit absolute addresses, which a
// relinked build shifts everywhere at once.
Bytes Executable(size_t length, uint32_t addressShift, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes code;
  while (code.size() < length) {
    for (int i = 0; i < 20; ++i) code.push_back(static_cast<uint8_t>(rng() % 64));
    const uint32_t address = 0x401000u + static_cast<uint32_t>(rng() % 4096) * 16 + addressShift;
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<uint8_t>(address >> (8 * i)));
  }
  code.resize(length);
  return code;
}

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes joined;
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

struct Pair {
  std::string name;
  Bytes source, target;
  size_t bodyCeiling;  // a delta that works at all is well below this
};

std::vector<Pair> Pairs() {
  std::vector<Pair> pairs;
  const Bytes code = Executable(300000, 0, 1);
  Bytes relinked = Executable(300000, 0x40, 1);
  relinked.insert(relinked.begin() + 1000, 64, 0x90);
  pairs.push_back({"executable", code, relinked, 30000});

  const Bytes a = RandomBytes(100000, 2), b = RandomBytes(50000, 3), c = RandomBytes(80000, 4),
              d = RandomBytes(20000, 5);
  Bytes replaced = c;
  replaced[40000] ^= 1;
  pairs.push_back({"archive", Join({a, b, c}), Join({a, d, replaced}), 23000});

  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i * 7919 % 10007) + " of text\n";
  std::string edited = text;
  edited.replace(20000, 10, "an edit");
  edited.insert(5000, "inserted line\n");
  pairs.push_back({"text", Bytes(text.begin(), text.end()), Bytes(edited.begin(), edited.end()),
                   1000});

  pairs.push_back({"empty source", {}, RandomBytes(5000, 6), 5200});
  pairs.push_back({"empty target", RandomBytes(5000, 7), {}, 100});
  pairs.push_back({"both empty", {}, {}, 100});
  pairs.push_back({"identical", a, a, 300});
  pairs.push_back({"zero runs", Join({a, Bytes(3000000, 0)}),
                   Join({Bytes(2000000, 0), a, Bytes(10, 0)}), 4000});
  // Crosses three blocks, with a change in each and runs across their edges.
  const Bytes part = RandomBytes(1u << 20, 8);
  Bytes large = Join({part, part, part, part, part, part, part, part, part});
  for (size_t at = 1000; at < large.size(); at += 3u << 20) large[at] ^= 0x55;
  pairs.push_back({"several blocks", part, large, 20000});
  return pairs;
}

TEST(DeltaCodec, RoundTripsTheChangesGamesShip) {
  for (const Pair& pair : Pairs()) {
    SCOPED_TRACE(pair.name);
    const Bytes body = Encode(pair.source, pair.target);
    EXPECT_LT(body.size(), pair.bodyCeiling);
    Bytes rebuilt;
    ASSERT_TRUE(Apply(body, pair.source, rebuilt));
    EXPECT_TRUE(rebuilt == pair.target);
  }
}

// Small windows take the path of files larger than one suffix array: the members that moved
// past a window's reach still round trip, and the drift keeps most of them matched.
TEST(DeltaCodec, RoundTripsThroughSourceWindows) {
  const Bytes a = RandomBytes(150000, 9), b = RandomBytes(150000, 10), c = RandomBytes(40000, 11);
  const Bytes source = Join({a, b, a, b});
  const Bytes target = Join({c, a, c, b, a, b});
  DeltaEncoderOptions options;
  options.sourceWindowLength = 200000;
  options.targetWindowLength = 100000;
  const Bytes body = Encode(source, target, options);
  EXPECT_LT(body.size(), 3 * c.size());
  Bytes rebuilt;
  ASSERT_TRUE(Apply(body, source, rebuilt));
  EXPECT_TRUE(rebuilt == target);

  TempFile sourceFile(std::string(source.begin(), source.end()));
  TempFile targetFile(std::string(target.begin(), target.end()));
  Bytes fileBody;
  DeltaEncoderResult result;
  std::string error;
  ASSERT_TRUE(EncodeDeltaFiles(sourceFile.Path(), targetFile.Path(), options, CollectBody,
                               &fileBody, result, error))
      << error;
  EXPECT_TRUE(fileBody == body);
  EXPECT_FALSE(EncodeDeltaFiles(sourceFile.Path() + ".missing", targetFile.Path(), options,
                                CollectBody, &fileBody, result, error));
  EXPECT_NE(error.find(".missing"), std::string::npos);
}

TEST(DeltaCodec, StopsAtTheBodyLimit) {
  const Bytes target = RandomBytes(100000, 12);
  DeltaEncoderOptions options;
  options.bodyLimit = 50000;
  Bytes body;
  DeltaEncoderResult result;
  EXPECT_FALSE(EncodeDelta(nullptr, 0, target.data(), target.size(), options, CollectBody, &body,
                           result));
  EXPECT_TRUE(result.abandoned);
  EXPECT_LE(body.size(), options.bodyLimit);
}

TEST(DeltaCodec, SuffixArrayMatchesAPlainSort) {
  const std::vector<Bytes> texts = {
      {}, {7}, Bytes(1000, 0), RandomBytes(2000, 13, 2), RandomBytes(2000, 14, 3),
      RandomBytes(3000, 15), Join({Bytes(500, 1), Bytes(500, 0), Bytes(500, 1)})};
  std::string abab;
  for (int i = 0; i < 700; ++i) abab += i % 50 == 49 ? "abc" : "ab";
  std::vector<Bytes> all = texts;
  all.emplace_back(abab.begin(), abab.end());
  for (const Bytes& text : all) {
    std::vector<int32_t> expected(text.size());
    for (size_t i = 0; i < text.size(); ++i) expected[i] = static_cast<int32_t>(i);
    std::sort(expected.begin(), expected.end(), [&](int32_t x, int32_t y) {
      return std::lexicographical_compare(text.begin() + x, text.end(), text.begin() + y,
                                          text.end());
    });
    std::vector<int32_t> suffixes;
    ASSERT_TRUE(BuildSuffixArray(text.data(), static_cast<int32_t>(text.size()), suffixes));
    EXPECT_TRUE(suffixes == expected) << "length " << text.size();
  }
}

// Every cut and every flipped byte of a real body is refused, or (a flip in bits the
// compressed streams ignore) still rebuilds the exact target.
TEST(DeltaCodec, RefusesDamagedBodies) {
  const Bytes source = Executable(3000, 0, 16);
  Bytes target = Executable(3000, 8, 16);
  target.insert(target.begin() + 100, 50, 'x');
  const Bytes body = Encode(source, target);
  Bytes rebuilt;
  uint64_t targetLength = 0;
  const auto structureHolds = [&](const Bytes& delta, uint64_t sourceLength, uint64_t limit) {
    return CheckDeltaStructure(delta.data(), delta.size(), sourceLength, limit, targetLength);
  };
  for (size_t length = 0; length < body.size(); ++length) {
    const Bytes cut(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(Apply(cut, source, rebuilt)) << "cut at " << length;
    EXPECT_FALSE(structureHolds(cut, source.size(), UINT64_MAX)) << "cut at " << length;
  }
  for (size_t at = 0; at < body.size(); ++at) {
    Bytes flipped = body;
    flipped[at] ^= 0x21;
    if (Apply(flipped, source, rebuilt)) {
      EXPECT_TRUE(rebuilt == target) << "flip at " << at;
    }
  }
  Bytes longer = body;
  longer.push_back(0);
  EXPECT_FALSE(Apply(longer, source, rebuilt));
  // Without the source's content only its checksum goes unchecked.
  EXPECT_FALSE(structureHolds(longer, source.size(), UINT64_MAX));
  EXPECT_FALSE(structureHolds(body, source.size() + 1, UINT64_MAX));
  EXPECT_FALSE(structureHolds(body, source.size(), target.size() - 1));
  ASSERT_TRUE(structureHolds(body, source.size(), target.size()));
  EXPECT_EQ(targetLength, target.size());
  EXPECT_FALSE(Apply(body, source, rebuilt, target.size() - 1));
  EXPECT_TRUE(Apply(body, source, rebuilt, target.size()));
  Bytes otherSource = source;
  otherSource[10] ^= 1;
  EXPECT_FALSE(Apply(body, otherSource, rebuilt));
  otherSource.push_back(0);
  EXPECT_FALSE(Apply(body, otherSource, rebuilt));
}

// Raw deflate, as the writer stores a stream that deflate shortens.
Bytes Deflated(const Bytes& raw) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  Bytes stored(deflateBound(&stream, static_cast<uLong>(raw.size())));
  stream.next_in = const_cast<Bytef*>(raw.data());
  stream.avail_in = static_cast<uInt>(raw.size());
  stream.next_out = stored.data();
  stream.avail_out = static_cast<uInt>(stored.size());
  deflate(&stream, Z_FINISH);
  stored.resize(stream.total_out);
  deflateEnd(&stream);
  EXPECT_NE(stored.size(), raw.size()) << "equal lengths would read as stored as it is";
  return stored;
}

void PutNumber(Bytes& out, uint64_t value) {
  uint8_t bytes[kVarintLimit];
  out.insert(out.end(), bytes, bytes + PutVarint(value, bytes));
}

// A well-formed body of one block whose instructions are `triples`.
Bytes HandMadeBody(uint64_t sourceLength, uint32_t targetLength,
                   const std::vector<uint64_t>& triples, const Bytes& diff, const Bytes& fresh,
                   uint32_t crc) {
  Bytes body(kDeltaMagic, kDeltaMagic + sizeof kDeltaMagic);
  PutNumber(body, sourceLength);
  PutNumber(body, targetLength);
  Bytes instructions;
  for (uint64_t value : triples) PutNumber(instructions, value);
  // The diff bytes as one run of literals.
  Bytes runs;
  if (!diff.empty()) {
    PutNumber(runs, 0);
    PutNumber(runs, diff.size());
    runs.insert(runs.end(), diff.begin(), diff.end());
  }
  const Bytes streams[3] = {Deflated(instructions), Deflated(runs), Deflated(fresh)};
  PutNumber(body, targetLength);
  PutNumber(body, instructions.size());
  PutNumber(body, streams[0].size());
  PutNumber(body, runs.size());
  PutNumber(body, streams[1].size());
  PutNumber(body, fresh.size());
  PutNumber(body, streams[2].size());
  for (const Bytes& stream : streams) body.insert(body.end(), stream.begin(), stream.end());
  for (int i = 0; i < 4; ++i) body.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  return body;
}

// Instructions that reach outside the source are refused before any read: the reader fails
// the test on a read past the source's end.
TEST(DeltaCodec, RefusesInstructionsOutsideTheSource) {
  const Bytes source = RandomBytes(100, 17);
  const Bytes zeros(20, 0);
  const uint32_t crc = static_cast<uint32_t>(crc32(0, source.data() + 90, 10) );
  Bytes rebuilt;
  // Seek forward 90, add 10: the last ten bytes, the only well-formed one of the set.
  const Bytes good = HandMadeBody(100, 20, {0, 0, 180, 10, 10, 0}, Bytes(10, 0), Bytes(10, 0),
                                  static_cast<uint32_t>(crc32(crc, zeros.data(), 10)));
  EXPECT_TRUE(Apply(good, source, rebuilt));
  // Add 11 from 90: past the end by one.
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {0, 0, 180, 11, 9, 0}, Bytes(11, 0), Bytes(9, 0), 0),
                     source, rebuilt));
  // Seek past the end, before the start, and by the most a varint holds either way.
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {0, 0, 202, 20, 0, 0}, zeros, {}, 0), source, rebuilt));
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {5, 0, 11, 15, 0, 0}, zeros, {}, 0), source, rebuilt));
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {5, 0, UINT64_MAX, 15, 0, 0}, zeros, {}, 0), source,
                     rebuilt));
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {5, 0, UINT64_MAX - 1, 15, 0, 0}, zeros, {}, 0),
                     source, rebuilt));
  // More than the block's target, and streams left over.
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {20, 1, 0}, zeros, {1}, 0), source, rebuilt));
  EXPECT_FALSE(Apply(HandMadeBody(100, 20, {19, 0, 0}, zeros, {}, 0), source, rebuilt));
}

}  // namespace

#include "vantis-pack/writing/EntryDataWriter.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include "crypto/IDEAEncryption.h"
#include "package/format/Crc32c.h"
#include "package/format/EntryStream.h"

namespace {

// Whole chunks go from the reading thread to the digesting one in batches of 1 MiB, the
// largest chunk's length: a few large writes rather than one per small file, one hand-over
// per batch rather than per chunk, and a batch small enough to be still in the processor's
// cache when it is written. Four of them let the reader run ahead of a slow digest.
constexpr size_t kBatchLength = size_t{1} << 20;
constexpr size_t kBatchCount = 4;
static_assert(kBatchLength >= kEntryChunkHeaderLength + kEntryStoredLimit,
              "a batch must hold the largest chunk");

// The digester writes a batch itself while it has fewer than this many waiting; otherwise
// it is the busier thread, and the reader writes before handing the batch over. Reading
// with encrypting and digesting cost about the same, so the writes balance the two.
constexpr uint64_t kDigesterWritesBelow = 2;

// The batches in a ring. The reader fills slot filledCount % kBatchCount while fewer than
// kBatchCount batches wait to be digested, so that slot is never the one being digested;
// the digester takes the slots in the order they were filled.
struct BatchRing {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<uint8_t> bytes[kBatchCount];
  size_t lengths[kBatchCount] = {};
  uint64_t offsets[kBatchCount] = {};    // where in the entry data the batch goes
  bool digesterWrites[kBatchCount] = {};  // still to be written, by the digester
  uint64_t filledCount = 0;
  uint64_t digestedCount = 0;
  bool readingEnded = false;  // no batch follows; also after the reader failed
  bool readingFailed = false;
  bool digestFailed = false;  // in the digester's write or digest
  std::string digestError;
};

void DigestBatches(BatchRing& ring, const EntryDataOutput& output) {
  for (;;) {
    size_t slot = 0;
    {
      std::unique_lock<std::mutex> lock(ring.mutex);
      ring.changed.wait(lock, [&ring] {
        return ring.digestedCount < ring.filledCount || ring.readingEnded;
      });
      if (ring.readingFailed || ring.digestedCount == ring.filledCount) return;
      slot = ring.digestedCount % kBatchCount;
    }
    std::string error;
    const uint8_t* batch = ring.bytes[slot].data();
    const bool done =
        (!ring.digesterWrites[slot] || output.writeAt(ring.offsets[slot], batch,
                                                      ring.lengths[slot], output.context,
                                                      error)) &&
        output.digest(batch, ring.lengths[slot], output.context, error);
    std::lock_guard<std::mutex> lock(ring.mutex);
    if (done) {
      ++ring.digestedCount;
    } else {
      ring.digestFailed = true;
      ring.digestError = error;
    }
    ring.changed.notify_all();
    if (!done) return;
  }
}

// The slot to fill next, once it is free; false when the digester has failed.
bool TakeFreeBatch(BatchRing& ring, uint8_t*& batch) {
  std::unique_lock<std::mutex> lock(ring.mutex);
  ring.changed.wait(lock, [&ring] {
    return ring.filledCount - ring.digestedCount < kBatchCount || ring.digestFailed;
  });
  if (ring.digestFailed) return false;
  batch = ring.bytes[ring.filledCount % kBatchCount].data();
  return true;
}

// Writes the batch here, while it is still in this processor's cache, unless the digester
// is short of work; then passes it on.
bool HandOverBatch(BatchRing& ring, const EntryDataOutput& output, uint64_t offset,
                   const uint8_t* batch, size_t length, std::string& error) {
  bool digesterWrites = false;
  {
    std::lock_guard<std::mutex> lock(ring.mutex);
    digesterWrites = ring.filledCount - ring.digestedCount < kDigesterWritesBelow;
  }
  if (!digesterWrites && !output.writeAt(offset, batch, length, output.context, error)) {
    return false;
  }
  std::lock_guard<std::mutex> lock(ring.mutex);
  const size_t slot = ring.filledCount % kBatchCount;
  ring.lengths[slot] = length;
  ring.offsets[slot] = offset;
  ring.digesterWrites[slot] = digesterWrites;
  ++ring.filledCount;
  ring.changed.notify_all();
  return true;
}

void EndReading(BatchRing& ring, bool failed) {
  std::lock_guard<std::mutex> lock(ring.mutex);
  ring.readingEnded = true;
  ring.readingFailed = failed;
  ring.changed.notify_all();
}

// Fills and passes on batches of the sources' chunks, writing some of them; false on a read
// or write failure (with `error`) or when the digester has failed (its error is in the ring).
bool ReadEntries(const std::vector<EntryDataSource>& sources, const std::string& key,
                 BatchRing& ring, const EntryDataOutput& output, ProgressBar& progress,
                 uint64_t& writtenLength, std::vector<uint32_t>& checksums,
                 std::string& error) {
  const IDEAEncryptionKey expanded = ExpandIDEAEncryptionKey(key);
  uint8_t* batch = nullptr;
  size_t used = 0;
  if (!TakeFreeBatch(ring, batch)) return false;

  for (const EntryDataSource& source : sources) {
    std::ifstream file;
    if (!source.content) {
      file.open(source.path, std::ios::binary);
      if (!file) {
        error = source.displayName + ": cannot be read";
        return false;
      }
    }
    uint64_t done = 0;
    uint32_t checksum = 0;
    while (done < source.length) {
      const auto plainLength =
          static_cast<uint32_t>(std::min<uint64_t>(source.length - done, kEntryStoredLimit));
      const size_t chunkLength = kEntryChunkHeaderLength + ((plainLength + size_t{7}) & ~size_t{7});
      if (used + chunkLength > kBatchLength) {
        if (!HandOverBatch(ring, output, writtenLength, batch, used, error)) return false;
        writtenLength += used;
        used = 0;
        if (!TakeFreeBatch(ring, batch)) return false;
      }
      uint8_t* plaintext = batch + used + kEntryChunkHeaderLength;
      if (source.content) {
        std::memcpy(plaintext, source.content->data() + done, plainLength);
      } else if (!file.read(reinterpret_cast<char*>(plaintext),
                            static_cast<std::streamsize>(plainLength))) {
        error = source.displayName + ": cannot be read, or became shorter while packing";
        return false;
      }
      const size_t written = EncryptEntryChunkInPlace(expanded, batch + used, plainLength);
      // Checksummed while the chunk is still in this processor's cache.
      checksum = ExtendCrc32c(checksum, batch + used, written);
      used += written;
      done += plainLength;
      progress.Advance(plainLength, source.displayName);
    }
    if (!source.content && file.peek() != std::char_traits<char>::eof()) {
      error = source.displayName + ": became longer while packing";
      return false;
    }
    checksums.push_back(checksum);
  }
  if (used > 0) {
    if (!HandOverBatch(ring, output, writtenLength, batch, used, error)) return false;
    writtenLength += used;
  }
  return true;
}

}  // namespace

bool WriteEntryData(const std::vector<EntryDataSource>& sources, const std::string& key,
                    const EntryDataOutput& output, ProgressBar& progress,
                    uint64_t& writtenLength, std::vector<uint32_t>& streamChecksums,
                    std::string& error) {
  BatchRing ring;
  std::vector<uint32_t> checksums;
  checksums.reserve(sources.size());
  for (std::vector<uint8_t>& bytes : ring.bytes) bytes.resize(kBatchLength);
  uint64_t length = 0;
  std::thread digester(DigestBatches, std::ref(ring), std::cref(output));
  bool read = false;
  try {
    read = ReadEntries(sources, key, ring, output, progress, length, checksums, error);
  } catch (...) {
    EndReading(ring, true);
    digester.join();
    throw;
  }
  EndReading(ring, !read);
  digester.join();
  if (ring.digestFailed) {
    error = ring.digestError;
    return false;
  }
  if (!read) return false;
  writtenLength = length;
  streamChecksums = std::move(checksums);
  return true;
}

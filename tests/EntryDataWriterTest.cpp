// The entry data that vantis-pack writes and digests on two threads must be the bytes of
// the one-chunk encoder, in order, for both, whatever the batches, the threads' timing and
// which thread wrote which batch, with each entry's stream checksummed as written;
// a file that fails to read stops the write, with its name.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TempFile.h"
#include "package/format/Crc32c.h"
#include "package/format/EntryStream.h"
#include "vantis-pack/writing/EntryDataWriter.h"
#include "support/PackageFixture.h"
#include "vantis-pack/host/StagedFile.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "entry data key";
const std::string kPrefix = "MZ written before the entry data";

std::string RandomText(std::mt19937& rng, size_t length) {
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

// Sources on disk and in memory, with the content each must deliver.
struct Entries {
  std::vector<std::unique_ptr<TempFile>> files;
  std::vector<std::unique_ptr<std::string>> texts;
  std::vector<EntryDataSource> sources;
  std::vector<std::string> contents;

  // A file holding `content` that claims `length` bytes (by default its own).
  void AddFile(const std::string& content, uint64_t length) {
    files.push_back(std::make_unique<TempFile>(content));
    sources.push_back({"file" + std::to_string(sources.size()), fs::u8path(files.back()->Path()),
                       nullptr, length});
    contents.push_back(content);
  }
  void AddFile(const std::string& content) { AddFile(content, content.size()); }
  void AddText(const std::string& text) {
    texts.push_back(std::make_unique<std::string>(text));
    sources.push_back({"config.txt", {}, texts.back().get(), text.size()});
    contents.push_back(text);
  }
  std::string Expected() const {
    std::string expected;
    for (const std::string& content : contents) expected += EncodeEntryStream(kKey, content, {});
    return expected;
  }
  std::vector<uint32_t> ExpectedChecksums() const {
    std::vector<uint32_t> checksums;
    for (const std::string& content : contents) {
      const std::string stream = EncodeEntryStream(kKey, content, {});
      checksums.push_back(Crc32c(stream.data(), stream.size()));
    }
    return checksums;
  }
};

struct Written {
  bool ok = false;
  uint64_t length = 0;
  std::string bytes;     // the file, when everything succeeded
  std::string digested;  // what the second thread was handed
  std::string error;
  std::vector<uint32_t> checksums;
  size_t readerWrites = 0;  // batches written by the reading thread
  size_t digesterWrites = 0;
};

// With `holdDigest`, the first digest waits until the reading thread has written a batch
// itself, which it does once two batches wait: both threads then write, whatever the timing.
struct Target {
  StagedFile file;
  std::string digested;
  bool holdDigest = false;
  std::thread::id reader = std::this_thread::get_id();
  std::mutex mutex;
  std::condition_variable readerWrote;
  size_t readerWrites = 0;
  size_t digesterWrites = 0;
};

Written WriteAll(const std::vector<EntryDataSource>& sources, bool holdDigest = false) {
  const TempFile path;
  Target target;
  target.holdDigest = holdDigest;
  Written result;
  ProgressBar progress(nullptr, 0);
  EXPECT_TRUE(target.file.Create(fs::u8path(path.Path()), result.error)) << result.error;
  EXPECT_TRUE(target.file.Write(kPrefix, result.error));
  const EntryDataOutput output = {
      [](uint64_t offset, const uint8_t* data, size_t length, void* context,
         std::string& error) {
        auto* into = static_cast<Target*>(context);
        {
          std::lock_guard<std::mutex> lock(into->mutex);
          ++(std::this_thread::get_id() == into->reader ? into->readerWrites
                                                        : into->digesterWrites);
        }
        into->readerWrote.notify_all();
        return into->file.WriteAt(kPrefix.size() + offset, data, length, error);
      },
      [](const uint8_t* data, size_t length, void* context, std::string&) {
        auto* into = static_cast<Target*>(context);
        if (into->holdDigest) {
          // Bounded only so that a writer that never lets the reader write fails, not hangs.
          std::unique_lock<std::mutex> lock(into->mutex);
          into->readerWrote.wait_for(lock, std::chrono::seconds(30),
                                     [into] { return into->readerWrites > 0; });
          into->holdDigest = false;
        }
        into->digested.append(reinterpret_cast<const char*>(data), length);
        return true;
      },
      &target};
  result.ok = WriteEntryData(sources, kKey, output, progress, result.length, result.checksums,
                             result.error);
  if (result.ok && target.file.Commit(result.error)) result.bytes = path.Read();
  result.digested = target.digested;
  result.readerWrites = target.readerWrites;
  result.digesterWrites = target.digesterWrites;
  return result;
}

TEST(EntryDataWriter, WritesTheChunkStreamsInOrderAcrossBatches) {
  std::mt19937 rng(13);
  Entries entries;
  // Small files whose chunks straddle the ends of batches, chunks at and around the largest,
  // and more in all than the batches hold at once, so that each batch is filled again.
  for (int i = 0; i < 200; ++i) {
    entries.AddFile(RandomText(rng, rng() % 20000));
    if (i == 100) entries.AddText("1.0.5 <= 1.0.4\nnotes held in memory\n");
  }
  entries.AddFile("");
  for (const uint32_t length : {kEntryStoredLimit - 1, kEntryStoredLimit, kEntryStoredLimit + 1,
                                2 * kEntryStoredLimit + 5}) {
    entries.AddFile(RandomText(rng, length));
  }
  const std::string expected = entries.Expected();

  // The threads' timing differs from run to run, the bytes must not. The last run holds
  // the digest back, so that each thread writes some of the batches.
  for (int run = 0; run < 3; ++run) {
    const Written written = WriteAll(entries.sources, run == 2);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(written.length, expected.size());
    EXPECT_TRUE(written.bytes == kPrefix + expected) << "run " << run;
    EXPECT_TRUE(written.digested == expected) << "run " << run;
    EXPECT_EQ(written.checksums, entries.ExpectedChecksums()) << "run " << run;
    if (run == 2) {
      EXPECT_GT(written.readerWrites, 0u);
      EXPECT_GT(written.digesterWrites, 0u);
    }
  }
}

// Each failure comes after several batches have gone to the writer, which must stop too.
TEST(EntryDataWriter, FileThatFailsToReadStopsTheWriteWithItsName) {
  std::mt19937 rng(14);
  const std::string large = RandomText(rng, 5 * kEntryStoredLimit);
  struct Case {
    const char* what;
    std::string content;
    uint64_t length;
    bool missing;
    std::string message;
  };
  const Case cases[] = {
      {"shorter", std::string(4000, 'a'), 5000, false,
       "file1: cannot be read, or became shorter while packing"},
      {"longer", std::string(6000, 'b'), 5000, false, "file1: became longer while packing"},
      {"missing", "", 10, true, "file1: cannot be read"},
  };
  for (const Case& failing : cases) {
    SCOPED_TRACE(failing.what);
    Entries entries;
    entries.AddFile(large);
    entries.AddFile(failing.content, failing.length);
    entries.AddFile("never reached");
    if (failing.missing) entries.sources[1].path += ".gone";
    const Written written = WriteAll(entries.sources);
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(written.error, failing.message);
  }
}

}  // namespace

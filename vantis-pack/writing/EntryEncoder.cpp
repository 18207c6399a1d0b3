#include "vantis-pack/writing/EntryEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include "delta/DeltaEncoder.h"
#include "package/format/Crc32c.h"
#include "vantis-pack/host/HostSystem.h"
#include "vantis-pack/host/Interruption.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kReadLength = 1u << 20;
// What a file's start must shrink to under a quick deflate before the whole file is
// deflated: media and archives that are compressed already are left whole at once.
constexpr size_t kProbeLength = 256u << 10;
constexpr double kProbeWorthwhile = 0.97;
constexpr int kCompressionLevel = 9;
// A job's forms in the work folder: its index and one of these.
constexpr char kCompressedSuffix[] = ".z";
constexpr char kDeltaSuffix[] = ".d";

struct FileSum {
  uint64_t size = 0;
  uint32_t checksum = 0;
};

bool ChecksumFile(const fs::path& path, FileSum& sum) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> buffer(kReadLength);
  sum = {};
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<size_t>(in.gcount());
    sum.checksum = ExtendCrc32c(sum.checksum, buffer.data(), got);
    sum.size += got;
  }
  return !in.bad();
}

bool ProbeCompressible(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string start(kProbeLength, '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<size_t>(in.gcount()));
  if (start.empty()) return false;
  uLongf length = compressBound(static_cast<uLong>(start.size()));
  std::vector<Bytef> out(length);
  if (compress2(out.data(), &length, reinterpret_cast<const Bytef*>(start.data()),
                static_cast<uLong>(start.size()), 1) != Z_OK) {
    return false;
  }
  return static_cast<double>(length) < kProbeWorthwhile * static_cast<double>(start.size());
}

void WriteHeaderAt(std::ofstream& out, const EntryEncoding& encoding) {
  const std::string header = EncodeEntryHeader(encoding);
  out.seekp(0);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
}

// The compressed form into `target`: header, then the zlib stream. False with `error` on
// a read or write failure.
bool Deflate(const EntryEncodingJob& job, const fs::path& target, uint64_t& storedSize,
             FileSum& sum, std::string& error) {
  std::ifstream in(job.path, std::ios::binary);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!in || !out) {
    error = (in ? target.u8string() : job.displayName) + ": cannot be opened";
    return false;
  }
  EntryEncoding encoding;
  encoding.kind = EntryKind::kCompressed;
  WriteHeaderAt(out, encoding);
  z_stream stream{};
  if (deflateInit2(&stream, kCompressionLevel, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    error = "zlib cannot start";
    return false;
  }
  std::vector<char> input(kReadLength);
  std::vector<char> output(kReadLength);
  sum = {};
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    in.read(input.data(), static_cast<std::streamsize>(input.size()));
    const auto got = static_cast<size_t>(in.gcount());
    sum.checksum = ExtendCrc32c(sum.checksum, input.data(), got);
    sum.size += got;
    const int flush = in ? Z_NO_FLUSH : Z_FINISH;
    stream.next_in = reinterpret_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(got);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(output.data());
      stream.avail_out = static_cast<uInt>(output.size());
      status = deflate(&stream, flush);
      out.write(output.data(), static_cast<std::streamsize>(output.size() - stream.avail_out));
    } while (stream.avail_out == 0);
    if (in.bad() || (flush == Z_FINISH && status != Z_STREAM_END)) break;
  }
  deflateEnd(&stream);
  if (in.bad() || status != Z_STREAM_END || sum.size != job.size) {
    error = job.displayName + ": cannot be read, or changed while packing";
    return false;
  }
  encoding.installedSize = static_cast<uint32_t>(sum.size);
  encoding.installedChecksum = sum.checksum;
  WriteHeaderAt(out, encoding);
  out.seekp(0, std::ios::end);
  storedSize = static_cast<uint64_t>(out.tellp());
  if (!out.flush()) {
    error = target.u8string() + ": cannot be written";
    return false;
  }
  return true;
}

bool WriteBody(const uint8_t* data, size_t length, void* context) {
  auto& out = *static_cast<std::ofstream*>(context);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
  return static_cast<bool>(out);
}

// The delta form into `target`, when it comes out below `limit` bytes; `made` tells.
bool MakeDelta(const EntryEncodingJob& job, const FileSum& installed, const fs::path& target,
               uint64_t limit, bool& made, uint64_t& storedSize, std::string& error) {
  made = false;
  FileSum source;
  if (!ChecksumFile(job.deltaSource, source)) {
    error = job.deltaSource.u8string() + ": cannot be read";
    return false;
  }
  if (source.size > UINT32_MAX || limit <= kDeltaHeaderLength) return true;
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  EntryEncoding encoding;
  encoding.kind = EntryKind::kDelta;
  encoding.sourceSize = static_cast<uint32_t>(source.size);
  encoding.sourceChecksum = source.checksum;
  encoding.installedSize = static_cast<uint32_t>(installed.size);
  encoding.installedChecksum = installed.checksum;
  WriteHeaderAt(out, encoding);
  DeltaEncoderOptions options;
  options.bodyLimit = limit - kDeltaHeaderLength - 1;
  DeltaEncoderResult result;
  std::string deltaError;
  if (!EncodeDeltaFiles(job.deltaSource, job.path, options, WriteBody, &out, result,
                        deltaError)) {
    if (result.abandoned || deltaError.empty()) return true;  // not worth it: stored otherwise
    error = job.displayName + ": " + deltaError;
    return false;
  }
  if (!out.flush()) {
    error = target.u8string() + ": cannot be written";
    return false;
  }
  storedSize = kDeltaHeaderLength + result.bodyLength;
  made = storedSize < limit;
  return true;
}

struct SharedWork {
  SharedWork(const std::vector<EntryEncodingJob>& jobs_, const EntryEncodingChoice& choice_,
             const fs::path& folder_, ProgressBar& progress_, std::vector<EncodedEntry>& encoded_)
      : jobs(jobs_), choice(choice_), folder(folder_), progress(progress_), encoded(encoded_) {}

  const std::vector<EntryEncodingJob>& jobs;
  const EntryEncodingChoice& choice;
  const fs::path& folder;
  ProgressBar& progress;
  std::vector<EncodedEntry>& encoded;
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex deltaLock;
  std::mutex reportLock;
  std::string error;
};

bool EncodeOne(SharedWork& work, size_t index, std::string& error) {
  const EntryEncodingJob& job = work.jobs[index];
  EncodedEntry& entry = work.encoded[index];
  entry = {EntryKind::kWhole, job.path, job.size, job.size};
  if (job.size == 0 || job.size > UINT32_MAX) return true;
  const fs::path compressedPath = work.folder / (std::to_string(index) + kCompressedSuffix);
  const fs::path deltaPath = work.folder / (std::to_string(index) + kDeltaSuffix);
  FileSum installed;
  bool haveSum = false;
  if (work.choice.compress && ProbeCompressible(job.path)) {
    uint64_t storedSize = 0;
    if (!Deflate(job, compressedPath, storedSize, installed, error)) return false;
    haveSum = true;
    if (storedSize < entry.storedSize) {
      entry = {EntryKind::kCompressed, compressedPath, storedSize, job.size};
    }
  }
  if (work.choice.delta && !job.deltaSource.empty()) {
    if (!haveSum && !ChecksumFile(job.path, installed)) {
      error = job.displayName + ": cannot be read";
      return false;
    }
    if (installed.size != job.size) {
      error = job.displayName + ": changed while packing";
      return false;
    }
    bool made = false;
    uint64_t storedSize = 0;
    std::lock_guard<std::mutex> lock(work.deltaLock);
    if (!MakeDelta(job, installed, deltaPath, entry.storedSize, made, storedSize, error)) {
      return false;
    }
    if (made) entry = {EntryKind::kDelta, deltaPath, storedSize, job.size};
  }
  std::error_code ignored;
  if (entry.kind != EntryKind::kCompressed) fs::remove(compressedPath, ignored);
  if (entry.kind != EntryKind::kDelta) fs::remove(deltaPath, ignored);
  return true;
}

void EncodeWhileWork(SharedWork& work) {
  for (;;) {
    const size_t index = work.next.fetch_add(1);
    if (index >= work.jobs.size() || work.failed.load()) return;
    std::string error;
    bool ok = false;
    try {
      ok = EncodeOne(work, index, error);
    } catch (const std::exception& exception) {
      error = work.jobs[index].displayName + ": " + exception.what();
    }
    std::lock_guard<std::mutex> lock(work.reportLock);
    if (!ok) {
      if (!work.failed.exchange(true)) work.error = error;
      return;
    }
    work.progress.Advance(work.jobs[index].size, work.jobs[index].displayName);
  }
}

}  // namespace

EncodingWorkFolder::EncodingWorkFolder() {
  uint8_t random[8];
  if (!FillSecureRandom(random, sizeof random)) return;
  std::string name = "vantis-pack-";
  for (uint8_t byte : random) {
    name += "0123456789abcdef"[byte >> 4];
    name += "0123456789abcdef"[byte & 0xF];
  }
  std::error_code failure;
  const fs::path path = fs::temp_directory_path(failure) / name;
  if (!failure && fs::create_directory(path, failure)) path_ = path;
}

EncodingWorkFolder::~EncodingWorkFolder() {
  ForgetNumberedFolder();
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

bool EncodeEntries(const std::vector<EntryEncodingJob>& jobs, const EntryEncodingChoice& choice,
                   const EncodingWorkFolder& folder, ProgressBar& progress,
                   std::vector<EncodedEntry>& encoded, std::string& error) {
  encoded.assign(jobs.size(), {});
  // Each job's forms are named by its index (EncodeOne): Ctrl-C and SIGTERM remove them.
  RememberNumberedFolder(folder.Path(), jobs.size(), {kCompressedSuffix, kDeltaSuffix});
  SharedWork work(jobs, choice, folder.Path(), progress, encoded);
  const unsigned threadCount =
      std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(), 8u));
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < threadCount && i < jobs.size(); ++i) {
    threads.emplace_back(EncodeWhileWork, std::ref(work));
  }
  EncodeWhileWork(work);
  for (std::thread& thread : threads) thread.join();
  if (work.failed.load()) {
    error = work.error;
    return false;
  }
  return true;
}

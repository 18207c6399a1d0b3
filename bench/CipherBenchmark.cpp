// Our IDEA (each path) and our RC2 variant against the peer libraries' implementations, on
// the same buffers in one run, after checking that all of them decrypt alike. The peers
// are linked here only; the installer never sees them.
//
// RC2: our variant reads big-endian words and skips RFC 2268's effective-key-length step,
// so the peers are given the ciphertext with the bytes of every word exchanged, and a
// 128-byte key whose expansion equals ours (see MatchRC2Key). The timed work is then the
// same RFC 2268 block function on the same expanded key.

#include <benchmark/benchmark.h>
#include <botan/block_cipher.h>
#include <crypto++/idea.h>
#include <crypto++/rc2.h>
#include <gcrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crypto/IDEABlocks.h"
#include "crypto/RC2Decryptor.h"

namespace {

using Bytes = std::vector<uint8_t>;
using DecryptFunction = std::function<void(const uint8_t* in, uint8_t* out, size_t length)>;

// One entry chunk of IDEA; the RC2 variant decrypts directory chunks of at most 8 KiB.
constexpr size_t kIDEALength = 1048568;
constexpr size_t kRC2Length = 8192;
// Followed by the code Botan reports it runs here, such as "(sse2)".
constexpr char kBotanIDEA[] = "IDEA/Botan 2";

struct Buffers {
  Bytes ideaKey;
  Bytes rc2Key;
  Bytes ciphertext;  // kIDEALength random bytes; RC2 uses the first kRC2Length
  Bytes output;
};

Buffers& Shared() {
  static Buffers buffers = [] {
    std::mt19937 rng(2024);
    auto random = [&rng](size_t length) {
      Bytes bytes(length);
      for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(rng());
      return bytes;
    };
    return Buffers{random(16), random(128), random(kIDEALength), Bytes(kIDEALength)};
  }();
  return buffers;
}

Bytes SwapWordBytes(const uint8_t* data, size_t length) {
  Bytes swapped(data, data + length);
  for (size_t i = 0; i + 1 < length; i += 2) std::swap(swapped[i], swapped[i + 1]);
  return swapped;
}

DecryptFunction OurIDEA(IDEAPath path) {
  auto schedule = std::make_shared<IDEASchedule>();
  MakeIDEADecryptionSchedule(Shared().ideaKey.data(), 16, *schedule);
  return [path, schedule](const uint8_t* in, uint8_t* out, size_t length) {
    CryptIDEABlocks(path, *schedule, in, out, length / 8);
  };
}

DecryptFunction BotanIDEA(std::string& provider) {
  std::shared_ptr<Botan::BlockCipher> cipher = Botan::BlockCipher::create_or_throw("IDEA");
  cipher->set_key(Shared().ideaKey.data(), 16);
  provider = cipher->provider();
  return [cipher](const uint8_t* in, uint8_t* out, size_t length) {
    cipher->decrypt_n(in, out, length / 8);
  };
}

template <typename Cipher>
DecryptFunction CryptoPPDecryption(std::shared_ptr<Cipher> cipher) {
  return [cipher](const uint8_t* in, uint8_t* out, size_t length) {
    cipher->AdvancedProcessBlocks(in, nullptr, out, length, 0);
  };
}

DecryptFunction GcryptDecryption(int algorithm, const Bytes& key) {
  gcry_cipher_hd_t handle = nullptr;
  if (gcry_cipher_open(&handle, algorithm, GCRY_CIPHER_MODE_ECB, 0) != 0 ||
      gcry_cipher_setkey(handle, key.data(), key.size()) != 0) {
    std::fprintf(stderr, "libgcrypt refuses cipher %d with a %zu-byte key\n", algorithm,
                 key.size());
    std::exit(1);
  }
  std::shared_ptr<gcry_cipher_handle> owner(handle, gcry_cipher_close);
  return [owner](const uint8_t* in, uint8_t* out, size_t length) {
    gcry_cipher_decrypt(owner.get(), out, length, in, length);
  };
}

DecryptFunction OurRC2() {
  auto decryptor = std::make_shared<RC2Decryptor>();
  decryptor->SetKey(Shared().rc2Key.data(), 128);
  return [decryptor](const uint8_t* in, uint8_t* out, size_t length) {
    auto outputLength = static_cast<uint32_t>(length);
    decryptor->Decrypt(out, &outputLength, in, static_cast<uint32_t>(length));
  };
}

// With 128 key bytes RFC 2268 keeps every byte except the first, which it passes through
// its table (libgcrypt's key setup does so twice). The peer's first byte is therefore
// the one that its own key setup maps onto ours; there are only 256 to try, and the full
// comparison afterwards checks the result.
template <typename MakePeer>
Bytes MatchRC2Key(MakePeer makePeer) {
  const Bytes& ours = Shared().rc2Key;
  const Bytes block(Shared().ciphertext.begin(), Shared().ciphertext.begin() + 8);
  Bytes wanted(8);
  OurRC2()(block.data(), wanted.data(), 8);
  Bytes key = ours;
  for (int first = 0; first < 256; ++first) {
    key[0] = static_cast<uint8_t>(first);
    const Bytes swapped = SwapWordBytes(block.data(), 8);
    Bytes got(8);
    makePeer(key)(swapped.data(), got.data(), 8);
    if (SwapWordBytes(got.data(), 8) == wanted) return key;
  }
  return ours;
}

DecryptFunction CryptoPPRC2(const Bytes& key) {
  return CryptoPPDecryption(std::make_shared<CryptoPP::RC2::Decryption>(key.data(), 128, 1024));
}

DecryptFunction GcryptRC2(const Bytes& key) { return GcryptDecryption(GCRY_CIPHER_RFC2268_128, key); }

// A peer that reads little-endian words, made to read ours.
DecryptFunction ExchangingWordBytes(DecryptFunction peer) {
  return [peer](const uint8_t* in, uint8_t* out, size_t length) {
    const Bytes swapped = SwapWordBytes(in, length);
    peer(swapped.data(), out, length);
    const Bytes back = SwapWordBytes(out, length);
    std::copy(back.begin(), back.end(), out);
  };
}

struct Contender {
  std::string name;
  DecryptFunction decrypt;
  DecryptFunction check;  // the same decryption with our byte order, for the comparison
  size_t length;
};

std::vector<Contender> Contenders() {
  std::vector<Contender> all;
  for (IDEAPath path : {IDEAPath::kScalar, IDEAPath::kSSE2, IDEAPath::kAVX2, IDEAPath::kAVX512}) {
    if (!IsIDEAPathAvailable(path)) continue;
    all.push_back({std::string("IDEA/ours ") + IDEAPathName(path), OurIDEA(path), {}, kIDEALength});
  }
  std::string botanProvider;
  DecryptFunction botan = BotanIDEA(botanProvider);
  all.push_back({std::string(kBotanIDEA) + " (" + botanProvider + ")", botan, {}, kIDEALength});
  all.push_back({"IDEA/Crypto++",
                 CryptoPPDecryption(std::make_shared<CryptoPP::IDEA::Decryption>(
                     Shared().ideaKey.data(), 16)),
                 {}, kIDEALength});
  all.push_back({"IDEA/libgcrypt", GcryptDecryption(GCRY_CIPHER_IDEA, Shared().ideaKey), {},
                 kIDEALength});

  all.push_back({"RC2/ours", OurRC2(), {}, kRC2Length});
  const Bytes cryptoppKey = MatchRC2Key(CryptoPPRC2);
  all.push_back({"RC2/Crypto++", CryptoPPRC2(cryptoppKey),
                 ExchangingWordBytes(CryptoPPRC2(cryptoppKey)), kRC2Length});
  const Bytes gcryptKey = MatchRC2Key(GcryptRC2);
  all.push_back({"RC2/libgcrypt", GcryptRC2(gcryptKey), ExchangingWordBytes(GcryptRC2(gcryptKey)),
                 kRC2Length});
  return all;
}

// Every contender of a cipher must give the first one's plaintext for the whole buffer.
bool AllAgree(const std::vector<Contender>& contenders) {
  std::map<std::string, Bytes> reference;
  bool agree = true;
  for (const Contender& contender : contenders) {
    const std::string cipher = contender.name.substr(0, contender.name.find('/'));
    Bytes plaintext(contender.length);
    (contender.check ? contender.check : contender.decrypt)(Shared().ciphertext.data(),
                                                            plaintext.data(), contender.length);
    auto [first, inserted] = reference.emplace(cipher, plaintext);
    const bool same = inserted || first->second == plaintext;
    std::printf("%-24s %s\n", contender.name.c_str(),
                inserted ? "reference" : same ? "same plaintext" : "DIFFERENT PLAINTEXT");
    agree = agree && same;
  }
  return agree;
}

void Decrypt(benchmark::State& state, const Contender* contender) {
  Buffers& buffers = Shared();
  for (auto _ : state) {
    contender->decrypt(buffers.ciphertext.data(), buffers.output.data(), contender->length);
    benchmark::DoNotOptimize(buffers.output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(contender->length));
}

// The console table, and each run's speed kept for the ratios printed at the end.
class SpeedReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> bytesPerSecond;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // With repetitions, the median stands for the benchmark.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      auto found = run.counters.find("bytes_per_second");
      if (found != run.counters.end()) bytesPerSecond[run.run_name.str()] = found->second;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  gcry_check_version(nullptr);
  gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);

  static const std::vector<Contender> contenders = Contenders();
  if (!AllAgree(contenders)) {
    std::fprintf(stderr, "the implementations disagree; no timing\n");
    return 1;
  }
  for (const Contender& contender : contenders) {
    benchmark::RegisterBenchmark(contender.name.c_str(), Decrypt, &contender);
  }
  benchmark::Initialize(&argc, argv);
  SpeedReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto botan = std::find_if(
      reporter.bytesPerSecond.begin(), reporter.bytesPerSecond.end(),
      [](const auto& run) { return run.first.rfind(kBotanIDEA, 0) == 0; });
  if (botan != reporter.bytesPerSecond.end()) {
    std::printf("\nIDEA against %s, one thread:\n", botan->first.c_str());
    for (const auto& [name, speed] : reporter.bytesPerSecond) {
      if (name.rfind("IDEA/", 0) == 0) {
        std::printf("  %-24s %8.1f MB/s  %5.2fx\n", name.c_str(), speed / 1e6,
                    speed / botan->second);
      }
    }
  }
  benchmark::Shutdown();
  return 0;
}

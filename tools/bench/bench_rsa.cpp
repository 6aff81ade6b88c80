// RSA suite: private and public operations of 1024-, 2048- and 4096-bit
// keys and 2048-bit key generation, ours against the peer provider.
//
// Comparable work: the peer's private operation is timed as CryptSignHash
// of a SHA-1 hash whose value is already set (PKCS#1 v1.5 padding plus the
// private operation), ours as the private operation on the same kind of
// padded block (which includes our blinding and the check of the result
// with e). The peer's public operation is CryptVerifySignature of that
// signature (the public operation plus the comparison of the padding and
// digest), ours the public operation on the signature. Key generation is
// CryptGenKey(AT_SIGNATURE) with the key destroyed again against our
// generation with candidates drawn from our generator.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bench.h"
#include "csp/front/random/hmac_drbg.h"
#include "csp/front/random/system_random.h"
#include "rsa/rsa.h"

namespace tvbench {
namespace {

constexpr std::size_t kOperationSizes[] = {1024, 2048, 4096};
constexpr std::size_t kGenerationBits = 2048;
constexpr int kGenerationRuns = 9;

// The provider's generator (HMAC_DRBG seeded from the system), without the
// per-thread bookkeeping of the provider.
class GeneratorSource final : public tv::crypto::RandomSource {
 public:
  GeneratorSource() {
    std::uint8_t seed[48];
    seeded_ = tv::csp::ReadSystemRandom(seed) &&
              drbg_.Instantiate(std::span(seed).first(32), std::span(seed).subspan(32), {});
  }
  bool Fill(std::span<std::uint8_t> out) override {
    if (!seeded_) return false;
    for (std::size_t done = 0; done < out.size(); done += tv::csp::HmacDrbg::kMaxRequest) {
      const std::size_t chunk = std::min(out.size() - done, tv::csp::HmacDrbg::kMaxRequest);
      if (!drbg_.Generate(out.subspan(done, chunk))) return false;
    }
    return true;
  }

 private:
  tv::csp::HmacDrbg drbg_;
  bool seeded_ = false;
};

// 00 01 FF... 00, the SHA-1 DigestInfo and a digest: a signature block.
Bytes SignatureBlock(std::size_t bytes) {
  static constexpr std::uint8_t kSha1Prefix[] = {0x00, 0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b,
                                                 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
  Bytes block(bytes, 0xFF);
  block[0] = 0x00;
  block[1] = 0x01;
  const std::size_t prefixAt = bytes - 20 - sizeof kSha1Prefix;
  std::copy(std::begin(kSha1Prefix), std::end(kSha1Prefix), block.begin() + prefixAt);
  for (std::size_t i = bytes - 20; i < bytes; ++i) block[i] = static_cast<std::uint8_t>(i);
  return block;
}

// Milliseconds per private and per public operation; zero when the
// operation is unavailable.
struct OperationTimes {
  double privateMs = 0;
  double publicMs = 0;
};

OperationTimes TimeOurs(std::size_t bits, GeneratorSource& random) {
  tv::crypto::Arithmetic ar;
  tv::crypto::RsaKey key;
  if (!tv::crypto::RsaGenerate(key, bits, ar, random)) return {};
  const Bytes block = SignatureBlock(bits / 8);
  Bytes signature(bits / 8);
  Bytes recovered(bits / 8);
  std::size_t length = 0;
  OperationTimes times;
  times.privateMs = Milliseconds(TypicalSecondsPerCall([&] {
    tv::crypto::RsaPrivate(key, block, signature, length, ar, random);
  }));
  times.publicMs = Milliseconds(TypicalSecondsPerCall([&] {
    tv::crypto::RsaPublic(key, signature, recovered, length, ar);
  }));
  return times;
}

// The peer's signing key and a SHA-1 hash with a value set.
struct PeerSigning {
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  ~PeerSigning() {
    if (hash != 0) CryptDestroyHash(hash);
    if (key != 0) CryptDestroyKey(key);
  }
};

bool PreparePeer(PeerSigning& peer, std::size_t bits) {
  static const std::uint8_t kDigest[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                           11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  return PeerProvider() != 0 &&
         CryptGenKey(PeerProvider(), AT_SIGNATURE, static_cast<DWORD>(bits) << 16, &peer.key) &&
         CryptCreateHash(PeerProvider(), CALG_SHA1, 0, 0, &peer.hash) &&
         CryptSetHashParam(peer.hash, HP_HASHVAL, kDigest, 0);
}

OperationTimes TimePeer(std::size_t bits) {
  PeerSigning peer;
  if (!PreparePeer(peer, bits)) return {};
  Bytes signature(bits / 8);
  DWORD length = static_cast<DWORD>(signature.size());
  OperationTimes times;
  times.privateMs = Milliseconds(TypicalSecondsPerCall([&] {
    length = static_cast<DWORD>(signature.size());
    CryptSignHashA(peer.hash, AT_SIGNATURE, nullptr, 0, signature.data(), &length);
  }));
  times.publicMs = Milliseconds(TypicalSecondsPerCall([&] {
    CryptVerifySignatureA(peer.hash, signature.data(), length, peer.key, nullptr, 0);
  }));
  return times;
}

void AddOperations(Report& report, std::size_t bits, GeneratorSource& random) {
  const std::string name = "rsa" + std::to_string(bits);
  if (!report.Wants(name + "-private") && !report.Wants(name + "-public")) return;
  const OperationTimes ours = TimeOurs(bits, random);
  const OperationTimes peer = TimePeer(bits);
  report.Add({name + "-private", Unit::MillisecondsPerOp, ours.privateMs, peer.privateMs});
  report.Add({name + "-public", Unit::MillisecondsPerOp, ours.publicMs, peer.publicMs});
}

void AddGeneration(Report& report, GeneratorSource& random) {
  const std::string name = "rsa" + std::to_string(kGenerationBits) + "-keygen";
  if (!report.Wants(name)) return;
  tv::crypto::Arithmetic ar;
  const double ours = Milliseconds(MedianSeconds([&] {
    tv::crypto::RsaKey key;
    tv::crypto::RsaGenerate(key, kGenerationBits, ar, random);
  }, kGenerationRuns));
  double peer = 0;
  if (PeerProvider() != 0) {
    peer = Milliseconds(MedianSeconds([] {
      HCRYPTKEY key = 0;
      if (CryptGenKey(PeerProvider(), AT_SIGNATURE, kGenerationBits << 16, &key)) {
        CryptDestroyKey(key);
      }
    }, kGenerationRuns));
  }
  report.Add({name, Unit::MillisecondsPerOp, ours, peer});
}

}  // namespace

void RunRsa(Report& report) {
  GeneratorSource random;
  for (const std::size_t bits : kOperationSizes) AddOperations(report, bits, random);
  AddGeneration(report, random);
}

}  // namespace tvbench

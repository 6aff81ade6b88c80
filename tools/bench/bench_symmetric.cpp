// The symmetric suite of tvbench: every hash and cipher over a 1 MiB buffer,
// ours through the dispatch records, the peer through CryptoAPI. Each pair
// is first run once from the same start to check that both compute the same
// result, so the figures compare the same work.
#include <cstdio>
#include <cstring>
#include <span>
#include <vector>

#include "bench.h"
#include "capi.h"
#include "cipher/cipher.h"
#include "cpu/wipe.h"
#include "hash/hash.h"

namespace tvbench {
namespace {

using tv::crypto::CipherAlgorithm;
using tv::crypto::CipherMode;
using tv::crypto::HashAlgorithm;
using tv::crypto::WipingBuffer;


// --- Hashes ---

struct HashWork {
  const char* name;
  const HashAlgorithm* ours;
  ALG_ID peer;
};

const HashWork kHashes[] = {
    {"md2", &tv::crypto::kMd2, CALG_MD2},
    {"md4", &tv::crypto::kMd4, CALG_MD4},
    {"md5", &tv::crypto::kMd5, CALG_MD5},
    {"sha1", &tv::crypto::kSha1, CALG_SHA1},
    {"sha256", &tv::crypto::kSha256, CALG_SHA_256},
    {"sha384", &tv::crypto::kSha384, CALG_SHA_384},
    {"sha512", &tv::crypto::kSha512, CALG_SHA_512},
    {"ssl3-shamd5", &tv::crypto::kSsl3ShaMd5, CALG_SSL3_SHAMD5},
};

Bytes OurDigest(const HashAlgorithm& algorithm, const Bytes& data) {
  WipingBuffer context(algorithm.contextSize);
  Bytes digest(algorithm.digestSize);
  algorithm.init(context.Data());
  algorithm.update(context.Data(), data);
  algorithm.final(context.Data(), digest.data());
  return digest;
}

void BenchHash(Report& report, const HashWork& work, const Bytes& data) {
  if (!report.Wants(work.name)) return;
  const auto ours = [&] { OurDigest(*work.ours, data); };
  const auto peer = [&] { CapiDigest(PeerProvider(), work.peer, data); };
  Row row{work.name, Unit::MegabytesPerSecond};
  const Bytes peerDigest = CapiDigest(PeerProvider(), work.peer, data);
  if (peerDigest.empty()) {
    row.ours = MegabytesPerSecond(TypicalSecondsPerCall(ours));
  } else {
    WarnIfDifferent(work.name, OurDigest(*work.ours, data), peerDigest);
    const TimingPair seconds = TypicalSecondsPerCallOfBoth(ours, peer);
    row.ours = MegabytesPerSecond(seconds.ours);
    row.peer = MegabytesPerSecond(seconds.peer);
  }
  report.Add(row);
}

// --- Ciphers: block ciphers in CBC, RC4 as a stream ---

struct CipherWork {
  const char* name;
  const CipherAlgorithm* ours;
  ALG_ID peer;
  std::size_t keyBytes;
};

const CipherWork kCiphers[] = {
    {"des-cbc", &tv::crypto::kDes, CALG_DES, 8},
    {"3des112-cbc", &tv::crypto::kTripleDes, CALG_3DES_112, 16},
    {"3des-cbc", &tv::crypto::kTripleDes, CALG_3DES, 24},
    {"rc2-cbc", &tv::crypto::kRc2, CALG_RC2, 16},
    {"aes128-cbc", &tv::crypto::kAes, CALG_AES_128, 16},
    {"aes192-cbc", &tv::crypto::kAes, CALG_AES_192, 24},
    {"aes256-cbc", &tv::crypto::kAes, CALG_AES_256, 32},
    {"rc4", &tv::crypto::kRc4, CALG_RC4, 16},
};

// One of our keys, set up with every key byte counting (for RC2: 128
// effective bits over a 16-byte key).
class OurKey {
 public:
  OurKey(const CipherWork& work, const Bytes& key, const Bytes& iv)
      : algorithm_(*work.ours), state_(algorithm_.stateSize) {
    if (!algorithm_.setup(state_.Data(), key, static_cast<std::uint32_t>(8 * key.size()), iv)) {
      std::fprintf(stderr, "tvbench: %s: our set-up failed\n", work.name);
    }
  }
  void Run(Direction direction, Bytes& data) {
    const auto operation = direction == Direction::Encrypt ? algorithm_.encrypt : algorithm_.decrypt;
    operation(state_.Data(), data, CipherMode::Cbc);
  }

 private:
  const CipherAlgorithm& algorithm_;
  WipingBuffer state_;
};

// The same key imported into the peer as a plaintext key blob; 0 when the
// peer refuses.
HCRYPTKEY ImportPlainKey(ALG_ID algorithm, const Bytes& key) {
  struct {
    BLOBHEADER header;
    DWORD keySize;
    BYTE key[32];
  } blob = {{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, algorithm}, static_cast<DWORD>(key.size()), {}};
  std::memcpy(blob.key, key.data(), key.size());
  const DWORD blobSize = static_cast<DWORD>(sizeof blob.header + sizeof blob.keySize + key.size());
  HCRYPTKEY imported = 0;
  if (PeerProvider() == 0 ||
      !CryptImportKey(PeerProvider(), reinterpret_cast<BYTE*>(&blob), blobSize, 0, 0, &imported))
    imported = 0;
  tv::crypto::SecureWipe(&blob, sizeof blob);
  return imported;
}

void BenchCipher(Report& report, const CipherWork& work, Direction direction, const Bytes& data) {
  const bool stream = work.ours->blockSize == 0;
  const std::string name =
      stream ? work.name : std::string(work.name) + (direction == Direction::Encrypt ? "-encrypt" : "-decrypt");
  if (!report.Wants(name)) return;
  const Bytes key = Pattern(work.keyBytes, 0x4b);
  const Bytes iv = Pattern(work.ours->blockSize, 0x1f);
  Row row{name, Unit::MegabytesPerSecond};
  Bytes oursBuffer = data;
  OurKey ours(work, key, iv);
  const auto runOurs = [&] { ours.Run(direction, oursBuffer); };

  Bytes ourResult = data;
  OurKey(work, key, iv).Run(direction, ourResult);
  Bytes peerResult = data;
  CapiKey check(ImportPlainKey(work.peer, key));
  check.UseCbc(work.peer, iv);
  if (check.Valid() && check.Run(direction, peerResult)) {
    WarnIfDifferent(name.c_str(), ourResult, peerResult);
    Bytes peerBuffer = data;
    CapiKey peer(ImportPlainKey(work.peer, key));
    peer.UseCbc(work.peer, iv);
    const TimingPair seconds = TypicalSecondsPerCallOfBoth(runOurs, [&] { peer.Run(direction, peerBuffer); });
    row.ours = MegabytesPerSecond(seconds.ours);
    row.peer = MegabytesPerSecond(seconds.peer);
  } else {
    row.ours = MegabytesPerSecond(TypicalSecondsPerCall(runOurs));
  }
  report.Add(row);
}

}  // namespace

void RunSymmetric(Report& report) {
  const Bytes data = Pattern(kBufferSize, 0x5a);
  for (const HashWork& work : kHashes) BenchHash(report, work, data);
  for (const CipherWork& work : kCiphers) {
    BenchCipher(report, work, Direction::Encrypt, data);
    if (work.ours->blockSize != 0) BenchCipher(report, work, Direction::Decrypt, data);
  }
}

}  // namespace tvbench

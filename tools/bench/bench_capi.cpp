// The CryptoAPI suite of tvbench: the same work through CryptoAPI in our
// provider and in the peer, in one process, each operation timed call by
// call in turn. Both providers hold the same keys where the results can be
// compared: session keys travel from ours to the peer in a SIMPLEBLOB, and
// signature pairs from the peer to ours in a PRIVATEKEYBLOB; a difference
// in the results is reported on stderr.
#include <cstdio>
#include <string>

#include "bench.h"
#include "capi.h"

namespace tvbench {
namespace {

constexpr DWORD kSignatureSizes[] = {1024, 2048, 4096};
constexpr DWORD kGenerationSizes[] = {1024, 2048};
constexpr int kGenerationRuns = 9;
constexpr DWORD kExchangeBits = 2048;

struct Providers {
  HCRYPTPROV ours;
  HCRYPTPROV peer;
};

// Adds the row of two functions timed in turn; `ours` alone when the peer
// cannot do the work.
void AddTimed(Report& report, const std::string& name, Unit unit, const std::function<void()>& ours,
              const std::function<void()>& peer) {
  const auto figure = [unit](double seconds) {
    return unit == Unit::MegabytesPerSecond ? MegabytesPerSecond(seconds) : Milliseconds(seconds);
  };
  Row row{name, unit};
  if (peer) {
    const TimingPair seconds = TypicalSecondsPerCallOfBoth(ours, peer);
    row.ours = figure(seconds.ours);
    row.peer = figure(seconds.peer);
  } else {
    row.ours = figure(TypicalSecondsPerCall(ours));
  }
  report.Add(row);
}

Bytes Export(HCRYPTKEY key, HCRYPTKEY wrapper, DWORD type) {
  DWORD size = 0;
  if (!CryptExportKey(key, wrapper, type, 0, nullptr, &size)) return {};
  Bytes blob(size);
  if (!CryptExportKey(key, wrapper, type, 0, blob.data(), &size)) return {};
  blob.resize(size);
  return blob;
}

HCRYPTKEY Import(HCRYPTPROV provider, const Bytes& blob, HCRYPTKEY unwrapper) {
  HCRYPTKEY key = 0;
  if (blob.empty() ||
      !CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), unwrapper, CRYPT_EXPORTABLE, &key))
    return 0;
  return key;
}

HCRYPTKEY Generate(HCRYPTPROV provider, ALG_ID algorithm, DWORD bits) {
  HCRYPTKEY key = 0;
  return CryptGenKey(provider, algorithm, (bits << 16) | CRYPT_EXPORTABLE, &key) ? key : 0;
}

// --- Hashes ---

struct HashWork {
  const char* name;
  ALG_ID algorithm;
};

const HashWork kHashes[] = {
    {"md2", CALG_MD2},       {"md4", CALG_MD4},       {"md5", CALG_MD5},       {"sha1", CALG_SHA1},
    {"sha256", CALG_SHA_256}, {"sha384", CALG_SHA_384}, {"sha512", CALG_SHA_512}, {"ssl3-shamd5", CALG_SSL3_SHAMD5},
};

void BenchHash(Report& report, Providers providers, const HashWork& work, const Bytes& data) {
  const std::string name = std::string("capi-") + work.name;
  if (!report.Wants(name)) return;
  const Bytes ours = CapiDigest(providers.ours, work.algorithm, data);
  const Bytes peer = CapiDigest(providers.peer, work.algorithm, data);
  if (ours.empty()) return;
  if (!peer.empty()) WarnIfDifferent(name, ours, peer);
  AddTimed(report, name, Unit::MegabytesPerSecond, [&] { CapiDigest(providers.ours, work.algorithm, data); },
           peer.empty() ? std::function<void()>() : [&] { CapiDigest(providers.peer, work.algorithm, data); });
}

// --- Ciphers: block ciphers in CBC, RC4 as a stream ---

struct CipherWork {
  const char* name;
  ALG_ID algorithm;
  DWORD bits;  // key length asked of CryptGenKey (0: the default)
};

const CipherWork kCiphers[] = {
    {"des-cbc", CALG_DES, 0},         {"3des112-cbc", CALG_3DES_112, 0}, {"3des-cbc", CALG_3DES, 0},
    {"rc2-cbc", CALG_RC2, 128},       {"aes128-cbc", CALG_AES_128, 0},   {"aes192-cbc", CALG_AES_192, 0},
    {"aes256-cbc", CALG_AES_256, 0},  {"rc4", CALG_RC4, 128},
};

// The peer's exchange pair, and its public key in our provider: the way a
// session key made by us reaches the peer.
struct ExchangeRoute {
  CapiKey peerPair;
  CapiKey publicInOurs;
  explicit ExchangeRoute(Providers providers)
      : peerPair(Generate(providers.peer, AT_KEYEXCHANGE, kExchangeBits)),
        publicInOurs(Import(providers.ours, Export(peerPair.Get(), 0, PUBLICKEYBLOB), 0)) {}
};

void BenchCipher(Report& report, Providers providers, const ExchangeRoute& route, const CipherWork& work,
                 Direction direction, const Bytes& data) {
  const bool stream = work.algorithm == CALG_RC4;
  const std::string name = std::string("capi-") + work.name +
                           (stream ? "" : direction == Direction::Encrypt ? "-encrypt" : "-decrypt");
  if (!report.Wants(name)) return;
  const Bytes iv = Pattern(16, 0x1f);
  CapiKey ours(Generate(providers.ours, work.algorithm, work.bits));
  CapiKey peer(Import(providers.peer, Export(ours.Get(), route.publicInOurs.Get(), SIMPLEBLOB), route.peerPair.Get()));
  ours.UseCbc(work.algorithm, iv);
  peer.UseCbc(work.algorithm, iv);
  if (!ours.Valid()) {
    std::fprintf(stderr, "tvbench: %s: our provider refused the key\n", name.c_str());
    return;
  }
  Bytes oursBuffer = data, peerBuffer = data;
  if (!ours.Run(direction, oursBuffer)) return;
  const bool peerRuns = peer.Valid() && peer.Run(direction, peerBuffer);
  if (peerRuns) WarnIfDifferent(name, oursBuffer, peerBuffer);
  AddTimed(report, name, Unit::MegabytesPerSecond, [&] { ours.Run(direction, oursBuffer); },
           peerRuns ? [&] { peer.Run(direction, peerBuffer); } : std::function<void()>());
}

// --- Signatures with SHA-1, the same pair in both providers ---

HCRYPTHASH Sha1WithValue(HCRYPTPROV provider) {
  static const BYTE kDigest[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) return 0;
  if (CryptSetHashParam(hash, HP_HASHVAL, kDigest, 0)) return hash;
  CryptDestroyHash(hash);
  return 0;
}

struct Signer {
  CapiKey pair;
  HCRYPTHASH hash;
  Bytes signature;
  Signer(HCRYPTKEY key, HCRYPTPROV provider) : pair(key), hash(Sha1WithValue(provider)) {}
  ~Signer() {
    if (hash) CryptDestroyHash(hash);
  }
  bool Sign() {
    DWORD length = 0;
    if (!hash || !CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, nullptr, &length)) return false;
    signature.resize(length);
    return CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature.data(), &length);
  }
  bool Verify() const {
    const DWORD length = static_cast<DWORD>(signature.size());
    return CryptVerifySignatureA(hash, signature.data(), length, pair.Get(), nullptr, 0);
  }
};

void BenchSignatures(Report& report, Providers providers, DWORD bits) {
  const std::string name = "capi-rsa" + std::to_string(bits);
  if (!report.Wants(name + "-sign") && !report.Wants(name + "-verify")) return;
  Signer peer(Generate(providers.peer, AT_SIGNATURE, bits), providers.peer);
  Signer ours(Import(providers.ours, Export(peer.pair.Get(), 0, PRIVATEKEYBLOB), 0), providers.ours);
  if (!ours.pair.Valid() || !ours.Sign() || !ours.Verify()) {
    std::fprintf(stderr, "tvbench: %s: our provider could not sign and verify\n", name.c_str());
    return;
  }
  const bool peerWorks = peer.Sign() && peer.Verify();
  if (peerWorks) WarnIfDifferent(name + "-sign", ours.signature, peer.signature);
  AddTimed(report, name + "-sign", Unit::MillisecondsPerOp, [&] { ours.Sign(); },
           peerWorks ? [&] { peer.Sign(); } : std::function<void()>());
  AddTimed(report, name + "-verify", Unit::MillisecondsPerOp, [&] { ours.Verify(); },
           peerWorks ? [&] { peer.Verify(); } : std::function<void()>());
}

// --- Key generation: median of several, each pair destroyed again ---

void BenchGeneration(Report& report, Providers providers, DWORD bits) {
  const std::string name = "capi-rsa" + std::to_string(bits) + "-keygen";
  if (!report.Wants(name)) return;
  const auto generate = [bits](HCRYPTPROV provider) {
    return [provider, bits] { CapiKey(Generate(provider, AT_SIGNATURE, bits)); };
  };
  Row row{name, Unit::MillisecondsPerOp};
  row.ours = Milliseconds(MedianSeconds(generate(providers.ours), kGenerationRuns));
  if (providers.peer) row.peer = Milliseconds(MedianSeconds(generate(providers.peer), kGenerationRuns));
  report.Add(row);
}

// --- SIMPLEBLOB: an AES-128 key wrapped and unwrapped with each provider's
// own 2048-bit exchange pair ---

struct Wrapping {
  CapiKey exchange;
  CapiKey session;
  Bytes blob;
  explicit Wrapping(HCRYPTPROV provider)
      : exchange(Generate(provider, AT_KEYEXCHANGE, kExchangeBits)), session(Generate(provider, CALG_AES_128, 0)) {}
  bool Wrap() {
    blob = Export(session.Get(), exchange.Get(), SIMPLEBLOB);
    return !blob.empty();
  }
  bool Unwrap(HCRYPTPROV provider) const { return CapiKey(Import(provider, blob, exchange.Get())).Valid(); }
};

void BenchSimpleBlob(Report& report, Providers providers) {
  if (!report.Wants("capi-simpleblob-export") && !report.Wants("capi-simpleblob-import")) return;
  Wrapping ours(providers.ours), peer(providers.peer);
  if (!ours.Wrap() || !ours.Unwrap(providers.ours)) {
    std::fprintf(stderr, "tvbench: capi-simpleblob: our provider could not wrap and unwrap\n");
    return;
  }
  const bool peerWorks = peer.Wrap() && peer.Unwrap(providers.peer);
  AddTimed(report, "capi-simpleblob-export", Unit::MillisecondsPerOp, [&] { ours.Wrap(); },
           peerWorks ? [&] { peer.Wrap(); } : std::function<void()>());
  AddTimed(report, "capi-simpleblob-import", Unit::MillisecondsPerOp, [&] { ours.Unwrap(providers.ours); },
           peerWorks ? [&] { peer.Unwrap(providers.peer); } : std::function<void()>());
}

}  // namespace

void RunCryptoApi(Report& report) {
  const Providers providers{OurProvider(), PeerProvider()};
  if (providers.ours == 0) return;
  const Bytes data = Pattern(kBufferSize, 0x5a);
  for (const HashWork& work : kHashes) BenchHash(report, providers, work, data);
  const ExchangeRoute route(providers);
  for (const CipherWork& work : kCiphers) {
    BenchCipher(report, providers, route, work, Direction::Encrypt, data);
    if (work.algorithm != CALG_RC4) BenchCipher(report, providers, route, work, Direction::Decrypt, data);
  }
  for (const DWORD bits : kSignatureSizes) BenchSignatures(report, providers, bits);
  for (const DWORD bits : kGenerationSizes) BenchGeneration(report, providers, bits);
  BenchSimpleBlob(report, providers);
}

}  // namespace tvbench

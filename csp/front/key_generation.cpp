#include "csp/front/key_generation.h"

#include <cstring>

#include "common/trace_log.h"
#include "csp/crypto/objects/key_params.h"
#include "csp/crypto/rsa/rsa.h"
#include "csp/front/context_acquisition.h"
#include "csp/front/cp_entries.h"
#include "csp/front/handles.h"
#include "csp/front/object_handles.h"
#include "csp/front/random/random_generator.h"
#include "csp/front/random/thread_instance.h"

namespace tv::csp {
namespace {

constexpr DWORD kGenKeyFlags = CRYPT_EXPORTABLE | CRYPT_USER_PROTECTED | CRYPT_CREATE_SALT | CRYPT_NO_SALT;
constexpr DWORD kDeriveKeyFlags = CRYPT_EXPORTABLE | CRYPT_CREATE_SALT | CRYPT_NO_SALT;
constexpr std::uint32_t kDefaultPairBits = 1024;
constexpr std::size_t kPadLength = 64;

KeyObject* Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

// Low flag bits other than the accepted ones are refused unless one of the
// accepted ones is set too; created salt is RC2's alone.
bool AcceptedKeyFlags(ALG_ID algorithm, DWORD flags, DWORD accepted) {
  const DWORD low = flags & 0xFFFF;
  if (low && !(low & accepted)) return false;
  return !(flags & CRYPT_CREATE_SALT) || algorithm == CALG_RC2;
}

bool GenerateNumbers(KeyObject& key) {
  ThreadInstance* instance = CurrentThreadInstance();
  if (!instance) return false;
  GeneratorSource random;
  instance->arithmetic.Reset();
  return crypto::RsaGenerate(key.rsa.numbers, key.rsa.keyLength, instance->arithmetic, random);
}

KeyObject* GeneratePair(ProvContext& context, DWORD keySpec, DWORD flags) {
  if ((flags & CRYPT_USER_PROTECTED) && context.silent) return Fail(NTE_SILENT_CONTEXT);
  const ALG_ID algorithm = keySpec == AT_KEYEXCHANGE ? CALG_RSA_KEYX : CALG_RSA_SIGN;
  const std::uint32_t bits = HIWORD(flags) ? HIWORD(flags) : kDefaultPairBits;
  KeyObject* key = CreateRsaKey(KeyKind::RsaPair, algorithm, bits, flags);
  if (!key) return nullptr;
  if (!GenerateNumbers(*key)) {
    FreeKeyObject(key);
    return Fail(NTE_FAIL);
  }
  if (!KeepPair(context, *key, flags)) {
    const DWORD error = GetLastError();
    FreeKeyObject(key);
    return Fail(error);
  }
  return key;
}

KeyObject* GenerateSessionKey(ProvContext& context, ALG_ID algorithm, DWORD flags) {
  GeneratorSource random;
  KeyObject* key = CreateSessionKey(algorithm, flags, random);
  if (!key) return nullptr;
  SessionKey& session = key->session;
  if (!ContextRandom(context, session.keyBytes.Data(), (session.keyLength + 7) / 8) || !session.Setup(true)) {
    FreeKeyObject(key);
    return Fail(NTE_FAIL);
  }
  return key;
}

// Reads the base hash's algorithm and value (finishing it) into value,
// which has room for twice the value.
bool ReadBaseHash(HCRYPTPROV provider, HCRYPTHASH hash, ALG_ID& algorithm, crypto::WipingBuffer& value,
                  DWORD& size) {
  DWORD length = sizeof algorithm;
  if (!CPGetHashParam(provider, hash, HP_ALGID, reinterpret_cast<BYTE*>(&algorithm), &length, 0)) return false;
  if (!CPGetHashParam(provider, hash, HP_HASHVAL, nullptr, &size, 0)) return false;
  value = crypto::WipingBuffer(2 * static_cast<std::size_t>(size));
  if (value.Size() != 2 * static_cast<std::size_t>(size)) return Fail(NTE_NO_MEMORY) != nullptr;
  if (!CPGetHashParam(provider, hash, HP_HASHVAL, value.Data(), &size, 0)) return false;
  WriteLog(LogTrace, "", "CPDeriveKey. 2. %08X. %08X. %08X. %08X.", static_cast<unsigned>(hash),
           static_cast<unsigned>(TagOf(HandleKind::Hash, hash)), static_cast<unsigned>(algorithm),
           static_cast<unsigned>(size));
  return true;
}

// Digest of `algorithm` over the 64-byte pad, written to out.
bool HashPad(HCRYPTPROV provider, ALG_ID algorithm, const std::uint8_t* pad, std::uint8_t* out, DWORD size) {
  HCRYPTHASH hash = 0;
  if (!CPCreateHash(provider, algorithm, 0, 0, &hash)) return false;
  DWORD length = size;
  const bool ok = CPHashData(provider, hash, pad, kPadLength, 0) &&
                  CPGetHashParam(provider, hash, HP_HASHVAL, out, &length, 0);
  const DWORD error = GetLastError();
  CPDestroyHash(provider, hash);
  SetLastError(error);
  return ok;
}

// Replaces the value with H(0x36-pad ^ value) || H(0x5C-pad ^ value).
bool StretchValue(HCRYPTPROV provider, ALG_ID algorithm, crypto::WipingBuffer& value, DWORD size) {
  if (size > kPadLength) return Fail(NTE_BAD_LEN) != nullptr;
  std::uint8_t inner[kPadLength], outer[kPadLength];
  memset(inner, 0x36, sizeof inner);
  memset(outer, 0x5C, sizeof outer);
  for (DWORD i = 0; i < size; ++i) {
    inner[i] ^= value.Data()[i];
    outer[i] ^= value.Data()[i];
  }
  const bool ok = HashPad(provider, algorithm, inner, value.Data(), size) &&
                  HashPad(provider, algorithm, outer, value.Data() + size, size);
  crypto::SecureWipe(inner, sizeof inner);
  crypto::SecureWipe(outer, sizeof outer);
  return ok;
}

bool FillFromHash(HCRYPTPROV provider, HCRYPTHASH baseHash, SessionKey& session, bool withSalt) {
  ALG_ID algorithm = 0;
  DWORD size = 0;
  crypto::WipingBuffer value;
  if (!ReadBaseHash(provider, baseHash, algorithm, value, size)) return false;
  const std::size_t keyBytes = (session.keyLength + 7) / 8;
  const std::size_t saltBytes = withSalt && session.HasSalt() ? session.saltLength : 0;
  std::size_t available = size;
  if (keyBytes > size) {
    if (!StretchValue(provider, algorithm, value, size)) return false;
    available = 2 * static_cast<std::size_t>(size);
  }
  if (keyBytes + saltBytes > available) return Fail(NTE_BAD_LEN) != nullptr;
  std::uint8_t* buffer = session.keyBytes.Data();
  memcpy(buffer, value.Data(), keyBytes);
  memcpy(buffer + session.maxLength / 8 - saltBytes, value.Data() + keyBytes, saltBytes);
  return true;
}

}  // namespace

KeyObject* GenerateKey(ProvContext& context, ALG_ID algorithm, DWORD flags) {
  if (!AcceptedKeyFlags(algorithm, flags, kGenKeyFlags)) return Fail(NTE_BAD_FLAGS);
  if (algorithm == AT_KEYEXCHANGE || algorithm == AT_SIGNATURE) return GeneratePair(context, algorithm, flags);
  if (algorithm == CALG_RSA_KEYX || algorithm == CALG_RSA_SIGN) return Fail(NTE_BAD_ALGID);
  return GenerateSessionKey(context, algorithm, flags);
}

KeyObject* DeriveKey(HCRYPTPROV provider, ALG_ID algorithm, HCRYPTHASH baseHash, DWORD flags) {
  if (!AcceptedKeyFlags(algorithm, flags, kDeriveKeyFlags)) return Fail(NTE_BAD_FLAGS);
  GeneratorSource random;
  KeyObject* key = CreateSessionKey(algorithm, flags, random);
  if (!key) return nullptr;
  if (!FillFromHash(provider, baseHash, key->session, flags & CRYPT_CREATE_SALT) || !key->session.Setup(true)) {
    const DWORD error = GetLastError();
    FreeKeyObject(key);
    return Fail(error);
  }
  return key;
}

}  // namespace tv::csp

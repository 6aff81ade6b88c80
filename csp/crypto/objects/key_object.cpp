#include "csp/crypto/objects/key_object.h"

#include <new>

namespace tv::csp {
namespace {

struct SessionAlgorithm {
  ALG_ID algorithm;
  std::uint32_t maxLength;  // bits; the default
  // The length the provider's algorithm list reports for the key: the DES
  // family counts bits without the parity bits. Asking for it means the
  // whole key of maxLength bits.
  std::uint32_t announcedLength;
  bool variableLength;      // RC2 and RC4 take 1 to maxLength bits
  std::uint32_t blockLength;
  const crypto::CipherAlgorithm* cipher;
  bool takesSalt;
};

constexpr SessionAlgorithm kSessionAlgorithms[] = {
    {CALG_DES, 64, 56, false, 8, &crypto::kDes, false},
    {CALG_RC2, 128, 128, true, 8, &crypto::kRc2, true},
    {CALG_3DES, 192, 168, false, 8, &crypto::kTripleDes, false},
    {CALG_3DES_112, 128, 112, false, 8, &crypto::kTripleDes, false},
    {CALG_AES_128, 128, 128, false, 16, &crypto::kAes, false},
    {CALG_AES_192, 192, 192, false, 16, &crypto::kAes, false},
    {CALG_AES_256, 256, 256, false, 16, &crypto::kAes, false},
    {CALG_RC4, 128, 128, true, 0, &crypto::kRc4, false},
};

const SessionAlgorithm* FindSessionAlgorithm(ALG_ID algorithm) {
  for (const SessionAlgorithm& entry : kSessionAlgorithms)
    if (entry.algorithm == algorithm) return &entry;
  return nullptr;
}

template <typename T>
T* Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

bool Allocate(crypto::WipingBuffer& buffer, std::size_t size) {
  buffer = crypto::WipingBuffer(size);
  return size == 0 || buffer.Size() == size;
}

}  // namespace

std::uint32_t SessionKey::LengthWord() const {
  const bool salted = HasSalt() && saltLength >= 1;
  return keyLength | (salted ? (maxLength / 8) << 16 : 0);
}

bool SessionKey::Setup(bool withIv) {
  const std::span<const std::uint8_t> key(keyBytes.Data(), maxLength / 8);
  const std::span<const std::uint8_t> vector =
      withIv ? std::span<const std::uint8_t>(iv.Data(), blockLength) : std::span<const std::uint8_t>();
  if (cipher->setup(state.Data(), key, LengthWord(), vector)) return true;
  SetLastError(NTE_BAD_KEY);
  return false;
}

bool SessionKey::Encrypt(std::uint8_t* data, std::size_t length, crypto::CipherMode chaining) {
  return cipher->encrypt(state.Data(), std::span<std::uint8_t>(data, length), chaining);
}

bool SessionKey::Decrypt(std::uint8_t* data, std::size_t length, crypto::CipherMode chaining) {
  return cipher->decrypt(state.Data(), std::span<std::uint8_t>(data, length), chaining);
}

KeyObject* CreateSessionKey(ALG_ID algorithm, DWORD flags, crypto::RandomSource& random) {
  const SessionAlgorithm* entry = FindSessionAlgorithm(algorithm);
  if (!entry) return Fail<KeyObject>(NTE_BAD_ALGID);
  const std::uint32_t requested = HIWORD(flags);
  const std::uint32_t keyLength =
      requested == 0 || requested == entry->announcedLength ? entry->maxLength : requested;
  if (keyLength > entry->maxLength || (keyLength < entry->maxLength && !entry->variableLength))
    return Fail<KeyObject>(NTE_BAD_FLAGS);

  KeyObject* key = new (std::nothrow) KeyObject;
  if (!key) return Fail<KeyObject>(NTE_NO_MEMORY);
  key->head = {KeyKind::Session, algorithm, 0, (flags & CRYPT_EXPORTABLE) ? 1u : 0u, 0xFFFFFFFF};
  SessionKey& session = key->session;
  session.cipher = entry->cipher;
  session.maxLength = entry->maxLength;
  session.blockLength = entry->blockLength;
  session.keyLength = keyLength;
  if (!Allocate(session.state, entry->cipher->stateSize) ||
      !Allocate(session.keyBytes, entry->maxLength / 8 + 1) || !Allocate(session.iv, entry->blockLength)) {
    delete key;
    return Fail<KeyObject>(NTE_NO_MEMORY);
  }
  if (entry->takesSalt) session.saltLength = 0;
  if (entry->takesSalt && !(flags & CRYPT_NO_SALT)) {
    session.saltLength = (entry->maxLength - keyLength) / 8;
    std::uint8_t* salt = session.keyBytes.Data() + entry->maxLength / 8 - session.saltLength;
    if ((flags & CRYPT_CREATE_SALT) && !random.Fill(std::span<std::uint8_t>(salt, session.saltLength))) {
      delete key;
      return Fail<KeyObject>(NTE_FAIL);
    }
  }
  return key;
}

KeyObject* CreateRsaKey(KeyKind kind, ALG_ID algorithm, std::uint32_t keyLength, DWORD flags) {
  if (keyLength < 384 || keyLength > 16384 || keyLength % 8 != 0) return Fail<KeyObject>(NTE_BAD_FLAGS);
  KeyObject* key = new (std::nothrow) KeyObject;
  if (!key) return Fail<KeyObject>(NTE_NO_MEMORY);
  key->head = {kind, algorithm, 0, (flags & CRYPT_EXPORTABLE) ? 1u : 0u, 0xFFFFFFFF};
  key->rsa.keyLength = keyLength;
  return key;
}

void FreeKeyObject(KeyObject* key) {
  if (!key) return;
  crypto::SecureWipe(&key->head, sizeof key->head);
  delete key;  // the buffers and numbers wipe themselves
}

}  // namespace tv::csp

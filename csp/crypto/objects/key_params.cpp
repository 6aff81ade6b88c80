#include "csp/crypto/objects/key_params.h"

#include <cstring>

namespace tv::csp {
namespace {

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

bool IsStreamAlgorithm(ALG_ID algorithm) { return (algorithm & ALG_TYPE_STREAM) == ALG_TYPE_STREAM; }

// The checks both directions share, in their order: what a non-session key
// answers, salt parameters, stream-cipher parameters, and flags.
bool CheckParam(const KeyObject& key, DWORD param, DWORD flags, bool reading) {
  if (!key.IsSession()) {
    const bool allowed = param == KP_PERMISSIONS ||
                         (reading && (param == KP_ALGID || param == KP_BLOCKLEN || param == KP_KEYLEN));
    if (!allowed) return Refuse(NTE_BAD_FLAGS);
  } else {
    if (!key.session.HasSalt() && (param == KP_SALT || param == KP_EFFECTIVE_KEYLEN))
      return Refuse(NTE_BAD_FLAGS);
    if (IsStreamAlgorithm(key.head.algorithm) && (param == KP_MODE || param == KP_PADDING))
      return Refuse(NTE_BAD_FLAGS);
  }
  if (flags != 0) return Refuse(NTE_BAD_FLAGS);
  return true;
}

std::uint32_t ReadWord(const BYTE* data) {
  std::uint32_t value;
  memcpy(&value, data, sizeof value);
  return value;
}

bool SetSalt(SessionKey& session, const BYTE* data) {
  session.saltLength = (session.maxLength - session.keyLength) / 8;
  memcpy(session.keyBytes.Data() + session.maxLength / 8 - session.saltLength, data, session.saltLength);
  return session.Setup(true);
}

bool SetSessionParam(SessionKey& session, DWORD param, const BYTE* data) {
  switch (param) {
    case KP_IV:
      memcpy(session.iv.Data(), data, session.blockLength);
      return session.Setup(true);
    case KP_SALT:
      return SetSalt(session, data);
    case KP_PADDING: {
      const std::uint32_t value = ReadWord(data);
      if (value < 1 || value > 3) return Refuse(NTE_BAD_FLAGS);
      session.padding = value;
      return true;
    }
    case KP_MODE: {
      const std::uint32_t value = ReadWord(data);
      if (value < 1 || value > 5) return Refuse(NTE_BAD_FLAGS);
      session.mode = value;
      return true;
    }
    case KP_MODE_BITS: {
      const std::uint32_t value = ReadWord(data);
      if (value != 3 && value != 4) return Refuse(NTE_BAD_FLAGS);
      if (value > session.blockLength) return Refuse(NTE_BAD_DATA);
      session.modeBits = value;
      return true;
    }
    case KP_SALT_EX:
      return true;
    case KP_EFFECTIVE_KEYLEN: {
      const std::uint32_t value = ReadWord(data);
      if (value < 1 || value > 1024) return Refuse(NTE_BAD_DATA);
      const std::uint32_t previous = session.keyLength;
      session.keyLength = value;
      if (session.Setup(true)) return true;
      // More key bytes than the key holds: refuse rather than read past it.
      session.keyLength = previous;
      session.Setup(true);
      return Refuse(NTE_BAD_DATA);
    }
    default:
      return Refuse(NTE_BAD_TYPE);
  }
}

// A key that may not leave the provider does not claim the right to.
std::uint32_t ReportedPermissions(const KeyHead& head) {
  return head.exportable ? head.permissions : head.permissions & ~static_cast<std::uint32_t>(CRYPT_EXPORT);
}

bool CopyOut(const void* value, DWORD size, BYTE* data, DWORD* length) {
  if (data) {
    if (*length < size) return Refuse(ERROR_MORE_DATA);
    memcpy(data, value, size);
  }
  *length = size;
  return true;
}

// The four-byte answer of every parameter but KP_IV, KP_SALT and KP_SALT_EX.
bool WordParam(const KeyObject& key, DWORD param, std::uint32_t& value) {
  const SessionKey& session = key.session;
  switch (param) {
    case KP_PADDING: value = session.padding; return true;
    case KP_MODE: value = session.mode; return true;
    case KP_MODE_BITS: value = session.modeBits; return true;
    case KP_PERMISSIONS: value = ReportedPermissions(key.head); return true;
    case KP_ALGID: value = key.head.algorithm; return true;
    case KP_BLOCKLEN: value = key.IsRsa() ? key.rsa.keyLength : session.blockLength * 8; return true;
    case KP_KEYLEN: value = key.IsRsa() ? key.rsa.keyLength : session.maxLength; return true;
    case KP_EFFECTIVE_KEYLEN: value = session.keyLength; return true;
    default: return Refuse(NTE_BAD_TYPE);
  }
}

bool CopyNumbers(crypto::RsaKey& to, const crypto::RsaKey& from) {
  crypto::Arithmetic ar;
  return to.n.Assign(from.n, ar) && to.e.Assign(from.e, ar) && to.d.Assign(from.d, ar) &&
         to.p.Assign(from.p, ar) && to.q.Assign(from.q, ar) && to.dp.Assign(from.dp, ar) &&
         to.dq.Assign(from.dq, ar) && to.qinv.Assign(from.qinv, ar);
}

}  // namespace

bool SetKeyParam(KeyObject& key, DWORD param, const BYTE* data, DWORD flags) {
  if (!CheckParam(key, param, flags, false)) return false;
  if (!data && param != KP_SALT_EX) return Refuse(ERROR_INVALID_PARAMETER);
  if (param == KP_PERMISSIONS) {
    if (data[0] == 0) return Refuse(NTE_BAD_FLAGS);
    key.head.permissions = ReadWord(data);
    return true;
  }
  return SetSessionParam(key.session, param, data);
}

bool GetKeyParam(const KeyObject& key, DWORD param, BYTE* data, DWORD* length, DWORD flags) {
  if (!CheckParam(key, param, flags, true)) return false;
  if (!length) return Refuse(ERROR_INVALID_PARAMETER);
  const SessionKey& session = key.session;
  switch (param) {
    case KP_IV:
      return CopyOut(session.iv.Data(), session.blockLength, data, length);
    case KP_SALT:
      return CopyOut(session.keyBytes.Data() + session.maxLength / 8 - session.saltLength, session.saltLength,
                     data, length);
    case KP_SALT_EX:
      return true;
    default: {
      if (data && *length < 4) return Refuse(ERROR_MORE_DATA);
      *length = 4;
      std::uint32_t value = 0;
      if (!WordParam(key, param, value)) return false;
      return CopyOut(&value, sizeof value, data, length);
    }
  }
}

KeyObject* DuplicateKeyObject(const KeyObject& key) {
  const DWORD exportable = key.head.exportable ? CRYPT_EXPORTABLE : 0;
  KeyObject* copy = nullptr;
  if (key.IsSession()) {
    struct NoRandom final : crypto::RandomSource {
      bool Fill(std::span<std::uint8_t>) override { return true; }
    } noRandom;
    copy = CreateSessionKey(key.head.algorithm, exportable | CRYPT_NO_SALT, noRandom);
    if (!copy) return nullptr;
    SessionKey& to = copy->session;
    const SessionKey& from = key.session;
    memcpy(to.keyBytes.Data(), from.keyBytes.Data(), from.maxLength / 8);
    memcpy(to.iv.Data(), from.iv.Data(), from.blockLength);
    to.padding = from.padding;
    to.keyLength = from.keyLength;
    to.modeBits = from.modeBits;
    to.mode = from.mode;
    to.saltLength = from.saltLength;
    if (!to.Setup(true)) {
      FreeKeyObject(copy);
      return nullptr;
    }
  } else if (key.IsRsa()) {
    copy = CreateRsaKey(key.head.kind, key.head.algorithm, key.rsa.keyLength, exportable);
    if (!copy) return nullptr;
    if (!CopyNumbers(copy->rsa.numbers, key.rsa.numbers)) {
      FreeKeyObject(copy);
      SetLastError(NTE_NO_MEMORY);
      return nullptr;
    }
  } else {
    SetLastError(NTE_BAD_TYPE);
    return nullptr;
  }
  copy->head.permissions = key.head.permissions;
  return copy;
}

}  // namespace tv::csp

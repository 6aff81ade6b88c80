#include "csp/front/prov_context.h"

#include <mutex>
#include <cstring>

#include "common/trace_log.h"
#include "csp/crypto/objects/key_params.h"
#include "csp/front/object_handles.h"
#include "csp/front/process_state.h"
#include "csp/front/random/entropy_record.h"
#include "csp/front/random/random_generator.h"
#include "csp/storage/stored_key_record.h"

namespace tv::csp {
namespace {

constexpr std::uint32_t kPrivateMagic = 0x32415352;  // "RSA2"

// Where each pair lives in the container.
struct PairSlot {
  DWORD keySpec;
  ALG_ID algorithm;
  RecordSlot privateSlot;
  RecordSlot publicSlot;
};
constexpr PairSlot kExchangePair = {AT_KEYEXCHANGE, CALG_RSA_KEYX, RecordSlot::ExchangePrivate,
                                    RecordSlot::ExchangePublic};
constexpr PairSlot kSignaturePair = {AT_SIGNATURE, CALG_RSA_SIGN, RecordSlot::SignaturePrivate,
                                     RecordSlot::SignaturePublic};

// Guards the context count together with the tag it decides, so that a
// context acquired while the first one is being counted never carries a
// stale tag.
std::mutex CountLock;

// GetContainer's line for a step of the exchange pair; the signature
// pair's lines follow by 6 (2 to 7 become 8 to 13).
int Line(const PairSlot& pair, int exchangeLine) {
  return pair.keySpec == AT_KEYEXCHANGE ? exchangeLine : exchangeLine + 6;
}

bool Failed(DWORD error) {
  SetLastError(error);
  return false;
}

// Reads one pair into `field`; true (and no key) when the pair is absent.
bool LoadPair(ProvContext& context, const PairSlot& pair, KeyObject*& field) {
  DWORD length = 0;
  std::uint8_t exportable = 0;
  SetLastError(0);
  if (!context.operations->ReadKeyContainer(context.storage, pair.privateSlot, &exportable, nullptr, &length)) {
    const DWORD error = GetLastError();
    if (error == 0) return true;
    WriteLog(LogError, "", "GetContainer. 13. %08X.", static_cast<unsigned>(error));
    return Failed(error);
  }
  WriteLog(LogTrace, "", "GetContainer. %d. %08X.", Line(pair, 2), static_cast<unsigned>(length));
  crypto::WipingBuffer record(length);
  if (record.Size() != length) {
    WriteLog(LogError, "", "GetContainer. %d. %08X. %08X.", Line(pair, 3), static_cast<unsigned>(NTE_NO_MEMORY),
             static_cast<unsigned>(length));
    return Failed(NTE_NO_MEMORY);
  }
  DWORD read = length;
  if (!context.operations->ReadKeyContainer(context.storage, pair.privateSlot, &exportable, record.Data(), &read)) {
    const DWORD error = context.silent ? static_cast<DWORD>(NTE_SILENT_CONTEXT) : GetLastError();
    WriteLog(LogError, "", "GetContainer. %d. %08X. %08X. %08X.", Line(pair, 4), static_cast<unsigned>(error),
             static_cast<unsigned>(length), static_cast<unsigned>(read));
    return Failed(error);
  }
  const std::span<const std::uint8_t> stored(record.Data(), read < length ? read : length);
  std::uint32_t magic = 0;
  if (stored.size() >= sizeof magic) memcpy(&magic, stored.data(), sizeof magic);
  if (magic != kPrivateMagic) {
    WriteLog(LogError, "", "GetContainer. %d. %08X.", Line(pair, 5), static_cast<unsigned>(magic));
    return Failed(NTE_BAD_KEYSET);
  }
  std::uint32_t bits = 0;
  crypto::RsaKey numbers;
  if (!DecodeStoredKeyRecord(stored, numbers, bits)) {
    WriteLog(LogError, "", "GetContainer. %d. %08X. %08X.", Line(pair, 7), static_cast<unsigned>(NTE_BAD_KEYSET),
             static_cast<unsigned>(bits));
    return Failed(NTE_BAD_KEYSET);
  }
  KeyObject* key = CreateRsaKey(KeyKind::RsaPair, pair.algorithm, bits, exportable ? CRYPT_EXPORTABLE : 0);
  if (!key) {
    const DWORD error = GetLastError();
    WriteLog(LogError, "", "GetContainer. %d. %08X. %08X. %08X.", Line(pair, 6), static_cast<unsigned>(error),
             static_cast<unsigned>(pair.algorithm), static_cast<unsigned>(bits));
    return Failed(error);
  }
  key->rsa.numbers = std::move(numbers);
  field = key;
  return true;
}

bool WritePairRecord(ProvContext& context, const KeyObject& key, RecordSlot slot, bool withPrivate,
                     DWORD userProtected, crypto::WipingBuffer& buffer) {
  const std::size_t size = StoredKeyRecordSize(key.rsa.keyLength, withPrivate);
  if (!EncodeStoredKeyRecord(key.rsa.numbers, key.rsa.keyLength, withPrivate,
                             std::span<std::uint8_t>(buffer.Data(), size)))
    return false;
  return context.operations->WriteKeyContainer(context.storage, slot, key.head.exportable ? 1 : 0,
                                               buffer.Data(), static_cast<DWORD>(size), userProtected);
}

}  // namespace

KeyObject** ProvContext::PairFor(DWORD keySpec) {
  if (keySpec == AT_KEYEXCHANGE) return &exchangeKey;
  if (keySpec == AT_SIGNATURE) return &signatureKey;
  return nullptr;
}

void DropKeyPairs(ProvContext& context) {
  DestroyKey(context.exchangeKey);
  DestroyKey(context.signatureKey);
  context.exchangeKey = context.signatureKey = nullptr;
}

bool GetContainer(ProvContext& context) {
  if (!context.HasContainer()) return true;
  if (LoadPair(context, kExchangePair, context.exchangeKey) &&
      LoadPair(context, kSignaturePair, context.signatureKey))
    return true;
  const DWORD error = GetLastError();
  DropKeyPairs(context);
  SetLastError(error);
  return false;
}

bool SaveKeyPair(ProvContext& context, DWORD keyFlags, ALG_ID algorithm) {
  const PairSlot& pair = algorithm == CALG_RSA_KEYX ? kExchangePair : kSignaturePair;
  const KeyObject* key = *context.PairFor(pair.keySpec);
  if (!key) return true;
  crypto::WipingBuffer buffer(StoredKeyRecordSize(key->rsa.keyLength, true));
  if (buffer.Size() == 0) {
    SetLastError(NTE_NO_MEMORY);
    return false;
  }
  const DWORD userProtected = keyFlags & CRYPT_USER_PROTECTED;
  // The exchange pair is written public first, the signature pair private first.
  const bool publicFirst = pair.keySpec == AT_KEYEXCHANGE;
  const RecordSlot first = publicFirst ? pair.publicSlot : pair.privateSlot;
  const RecordSlot second = publicFirst ? pair.privateSlot : pair.publicSlot;
  return WritePairRecord(context, *key, first, !publicFirst, userProtected, buffer) &&
         WritePairRecord(context, *key, second, publicFirst, userProtected, buffer);
}

bool KeepPair(ProvContext& context, const KeyObject& key, DWORD keyFlags) {
  // The biometric check refused to let a pair be stored on the Key; any
  // other storage failure is reported as NTE_FAIL.
  constexpr DWORD kStoreRefused = 0x80100006;
  KeyObject* held = DuplicateKeyObject(key);
  if (!held) return false;
  const ALG_ID algorithm = key.head.algorithm;
  KeyObject** field = context.PairFor(algorithm == CALG_RSA_KEYX ? AT_KEYEXCHANGE : AT_SIGNATURE);
  DestroyKey(*field);
  *field = held;
  if (!context.HasContainer() || SaveKeyPair(context, keyFlags, algorithm)) return true;
  const DWORD error = GetLastError() == kStoreRefused ? kStoreRefused : static_cast<DWORD>(NTE_FAIL);
  DestroyKey(*field);
  *field = nullptr;
  SetLastError(error);
  return false;
}

std::uint32_t CountContext() {
  std::lock_guard<std::mutex> hold(CountLock);
  if (ContextCount.fetch_add(1) == 0) {
    const EntropyRecord record = GatherEntropyRecord();
    SeedGenerator(record.Bytes());
    std::uint32_t tag = 0;
    // A zero tag would make zeroed records look alive.
    while (tag == 0 || tag == HandleTag.load()) {
      if (!GenRandomBytes(std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(&tag), sizeof tag))) break;
    }
    HandleTag = tag ? tag : HandleTag.load() + 1;
  }
  return HandleTag.load();
}

void UncountContext() {
  std::lock_guard<std::mutex> hold(CountLock);
  if (ContextCount.load() == 0) return;
  if (ContextCount.fetch_sub(1) == 1) ReleaseGenerator();
}

}  // namespace tv::csp

// ProvContext: the record behind an HCRYPTPROV. It names the key container,
// holds the container's two key pairs once loaded, and reaches the container
// only through the storage operations of the backend that keeps it.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "csp/crypto/objects/key_object.h"
#include "csp/storage/storage.h"

namespace tv::csp {

struct ProvContext {
  std::uint32_t tag = 0;  // HandleTag; first, where the handle model looks
  std::uint16_t enumAlgPos = 0;
  std::uint16_t enumAlgExPos = 0;
  std::uint16_t enumContainerPos = 0;
  std::uint32_t silent = 0;
  HWND clientWindow = nullptr;
  bool verifyOnly = false;         // no container: key pairs live in the context only
  bool machineKeyset = false;      // acquired with CRYPT_MACHINE_KEYSET
  std::string containerName;
  KeyObject* exchangeKey = nullptr;
  KeyObject* signatureKey = nullptr;
  StorageRecord* storage = nullptr;
  const StorageOperations* operations = nullptr;

  // The pair field for AT_KEYEXCHANGE or AT_SIGNATURE, or null for any other key spec.
  KeyObject** PairFor(DWORD keySpec);
  bool HasContainer() const { return storage && !verifyOnly; }
};

// The context behind a handle the entry frame has validated.
inline ProvContext* ContextFromHandle(HCRYPTPROV handle) { return reinterpret_cast<ProvContext*>(handle); }

// Loads both key pairs from the open container (callers hold ContainerLock).
// An absent pair is not an error; false with the last error set otherwise.
bool GetContainer(ProvContext& context);

// Destroys both held pairs (the container keeps them).
void DropKeyPairs(ProvContext& context);

// Writes the pair named by `algorithm` (CALG_RSA_KEYX or CALG_RSA_SIGN) to
// the container: public then private record for the exchange pair, private
// then public for the signature pair. True when that pair is absent.
bool SaveKeyPair(ProvContext& context, DWORD keyFlags, ALG_ID algorithm);

// Puts a duplicate of the pair `key` (made or imported) in the context's
// field for its algorithm, in place of the pair held there, and stores it
// when the context has a container. On failure the field is left empty and
// the last error is set.
bool KeepPair(ProvContext& context, const KeyObject& key, DWORD keyFlags);

// Counts a new context; the first one seeds the generator and draws a new
// HandleTag. Returns the tag the context must carry.
std::uint32_t CountContext();
// Uncounts a context; the last one releases the calling thread's generator.
void UncountContext();

}  // namespace tv::csp

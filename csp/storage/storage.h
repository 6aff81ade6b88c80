// The storage operations: the one set of fourteen operations through which
// the provider context reaches a key container, whatever keeps it (the Key,
// Protected Storage or the registry). A context binds its container to one
// backend's table once and calls only through it afterwards.
//
// Every operation returns true on success; a failure leaves its reason in
// the thread's last error. ReadKeyContainer failing with last error 0 means
// the slot is simply empty (the container has no such key pair).
//
// Calling order: OpenKeyStorage -> (OpenKeyContainer | ContainerExists then
// CreateKeyContainer) -> reads, writes, SetKeySecurity, GenRandomOnKey,
// SetContainerPin, IsKeyPresent -> (CloseKeyContainer | DeleteKeyContainer
// then CloseKeyContainer) -> CloseStorage. A context without a container
// uses only OpenKeyStorage, EnumKeyContainers, GenRandomOnKey,
// CloseKeyContainer and CloseStorage.
#pragma once
#include <windows.h>

#include <cstdint>

namespace tv::csp {

// An open storage session; each backend keeps its own record behind it.
struct StorageRecord;

// The four stored values of a container. A private slot's record holds the
// public key as well, so readers read slots 1 and 2 only.
enum class RecordSlot : std::int16_t {
  ExchangePublic = 0,
  ExchangePrivate = 1,
  SignaturePrivate = 2,
  SignaturePublic = 3
};

struct StorageOperations {
  char letter;  // 'C', 'P', 'R': the backend's mark in trace lines

  // Allocates the session record and stores it through `storage` (null on
  // failure). machine non-zero selects the machine's containers
  // (CRYPT_MACHINE_KEYSET), else the user's; silent is 1 for CRYPT_SILENT.
  // The first open of a backend binds the platform facility it needs; false,
  // with nothing left allocated, when that facility is missing.
  bool (*OpenKeyStorage)(StorageRecord** storage, HMODULE instance, DWORD machine, DWORD silent);
  // Frees the record (closing any container still current) and releases the
  // facility with the last open session of the backend.
  bool (*CloseStorage)(StorageRecord* storage);
  // Name of the index-th container key below the backend's base key. A null
  // name asks for the buffer size (261, enough for any name). On success
  // *length is the name's length with its terminating zero. At the end of
  // the list *length is 0; a buffer too short for the name leaves the size
  // that suffices in *length.
  bool (*EnumKeyContainers)(StorageRecord* storage, std::int16_t index, char* name, DWORD* length);
  // Makes the named container current; fails when this backend does not
  // keep it, so that the caller can try the next backend. forDelete is true
  // when the container is opened to be deleted.
  bool (*OpenKeyContainer)(StorageRecord* storage, const char* name, bool forDelete);
  // Creates the named container and makes it current. The five random bytes
  // become the registry backend's protection key (unless the user's password
  // cache already holds bytes under the name, which are used instead); other
  // backends ignore them.
  bool (*CreateKeyContainer)(StorageRecord* storage, const char* name, const std::uint8_t random[5]);
  // True when the container's registry key exists, whatever it holds.
  bool (*ContainerExists)(StorageRecord* storage, const char* name);
  // Ends the current container. The software backends first store a
  // non-null 20-byte seed as the container's "RandSeed". False without
  // effect when no container is current.
  bool (*CloseKeyContainer)(StorageRecord* storage, const std::uint8_t* seed20 /* or null */);
  // Removes the current container (opened with forDelete) and all it holds,
  // then ends it as CloseKeyContainer without a seed does.
  bool (*DeleteKeyContainer)(StorageRecord* storage);
  // With a null buffer: *length = the stored record's size (an upper bound
  // for some backends), true when the slot holds a record. With a buffer of
  // *length bytes: the record in clear, its size in *length and the
  // exportable flag in *exportable. An empty slot fails with last error 0.
  bool (*ReadKeyContainer)(StorageRecord* storage, RecordSlot slot, std::uint8_t* exportable,
                           std::uint8_t* buffer, DWORD* length);
  // Stores the record of a slot, replacing what it held, with the pair's
  // exportable flag. userProtected is the CRYPT_USER_PROTECTED bit of the
  // key's flags. The backend may change `data` in place: callers rebuild the
  // record before writing it again.
  bool (*WriteKeyContainer)(StorageRecord* storage, RecordSlot slot, std::uint8_t exportable,
                            std::uint8_t* data, DWORD length, DWORD userProtected);
  // Applies a security descriptor to the container's registry key.
  bool (*SetKeySecurity)(StorageRecord* storage, PSECURITY_DESCRIPTOR descriptor,
                         SECURITY_INFORMATION information);
  // Fills the buffer from the Key's random generator; null when the backend
  // has no hardware generator.
  bool (*GenRandomOnKey)(StorageRecord* storage, std::uint8_t* buffer, std::int16_t length);
  // Presets the PIN the Key dialogs use instead of asking.
  bool (*SetContainerPin)(StorageRecord* storage, const char* pin);
  // False when the Key holding the container was removed, so that cached key
  // pairs must be read again.
  bool (*IsKeyPresent)(StorageRecord* storage);
};

const StorageOperations& RegistryStorage();   // "R"
const StorageOperations& ProtectedStorage();  // "P"
const StorageOperations& KeyStorage();        // "C"

}  // namespace tv::csp

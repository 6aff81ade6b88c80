#include "csp/storage/registry_slots.h"

#include <algorithm>
#include <cstring>

#include "csp/crypto/cpu/wipe.h"
#include "csp/storage/registry_value_batch.h"
#include "csp/storage/registry_values.h"
#include "csp/storage/stored_key_record.h"

namespace tv::csp {
namespace {

constexpr std::size_t kSlotCount = 4;

// The records of slots 0 to `last` as stored (encrypted); an absent record,
// or one kept outside the key, is empty and counts 0 bytes of keystream.
struct StoredRecords {
  crypto::WipingBuffer bytes[kSlotCount];
  bool present[kSlotCount] = {};

  bool Read(HKEY container, const SlotValueNames& values, std::size_t last) {
    for (std::size_t slot = 0; slot <= last; ++slot)
      if (values.names[slot] &&
          !ReadValue(container, values.names[slot], kMaxStoredKeyRecordSize, bytes[slot], present[slot]))
        return false;
    return true;
  }
  std::size_t Size(std::size_t slot) const { return bytes[slot].Size(); }
  // Keystream position of a slot: the bytes stored below it.
  std::size_t Position(std::size_t slot) const {
    std::size_t position = 0;
    for (std::size_t lower = 0; lower < slot; ++lower) position += Size(lower);
    return position;
  }
};

// A copy of `bytes` XORed with the keystream from `position`.
bool CopyWithKeystream(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> stream,
                       std::size_t position, crypto::WipingBuffer& out) {
  out = crypto::WipingBuffer(bytes.size());
  if (out.Size() != bytes.size()) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  std::memcpy(out.Data(), bytes.data(), bytes.size());
  ApplyKeystream({out.Data(), out.Size()}, stream, position);
  return true;
}

bool MakeKeystream(ProtectionKey key, std::size_t length, crypto::WipingBuffer& stream) {
  stream = crypto::WipingBuffer(length);
  if (stream.Size() != length) return FailWith(static_cast<DWORD>(NTE_NO_MEMORY));
  return ProtectionKeystream(key, {stream.Data(), stream.Size()});
}

// Re-encrypts the stored records above `slot` at the positions they take
// once the slot holds `newSize` bytes.
bool MoveHigherRecords(const StoredRecords& old, const SlotValueNames& values, std::size_t slot,
                       std::size_t newSize, std::span<const std::uint8_t> stream, RegistryValueBatch& batch) {
  for (std::size_t higher = slot + 1; higher < kSlotCount; ++higher) {
    if (old.Size(higher) == 0) continue;
    const std::size_t from = old.Position(higher);
    const std::size_t to = from - old.Size(slot) + newSize;
    crypto::WipingBuffer moved;
    if (!CopyWithKeystream({old.bytes[higher].Data(), old.Size(higher)}, stream, from, moved)) return false;
    ApplyKeystream({moved.Data(), moved.Size()}, stream, to);
    if (!batch.Set(values.names[higher], {moved.Data(), moved.Size()})) return false;
  }
  return true;
}

// A slot that `values` keeps in the container's key.
bool IsKeptSlot(RecordSlot slot, const SlotValueNames& values) {
  const auto index = static_cast<std::size_t>(static_cast<std::uint16_t>(slot));
  return index < kSlotCount && values.names[index];
}

}  // namespace

const char* ExportFlagName(RecordSlot slot) {
  return slot <= RecordSlot::ExchangePrivate ? "EExport" : "SExport";
}

bool ReadExportFlag(HKEY container, RecordSlot slot, std::uint8_t& flag) {
  crypto::WipingBuffer value;
  bool present = false;
  if (!ReadValue(container, ExportFlagName(slot), 1, value, present)) return false;
  if (!present || value.Size() != 1) return FailWith(static_cast<DWORD>(NTE_KEYSET_ENTRY_BAD));
  flag = value.Data()[0];
  return true;
}

bool ReadRegistrySlot(HKEY container, ProtectionKey key, RecordSlot slot, std::uint8_t* exportable,
                      std::uint8_t* buffer, DWORD* length, const SlotValueNames& values) {
  if (!IsKeptSlot(slot, values) || !length) return FailWith(ERROR_INVALID_PARAMETER);
  const auto index = static_cast<std::size_t>(slot);
  StoredRecords records;
  if (!records.Read(container, values, index)) return false;
  // An empty slot is not an error: the container just has no such key.
  if (!records.present[index]) return FailWith(0);
  const std::size_t size = records.Size(index);
  if (!buffer) {
    *length = static_cast<DWORD>(size);
    return true;
  }
  if (*length < size) {
    *length = static_cast<DWORD>(size);
    return FailWith(ERROR_MORE_DATA);
  }
  std::uint8_t flag = 0;
  if (!ReadExportFlag(container, slot, flag)) return false;
  const std::size_t position = records.Position(index);
  crypto::WipingBuffer stream;
  if (!MakeKeystream(key, position + size, stream)) return false;
  std::memcpy(buffer, records.bytes[index].Data(), size);
  ApplyKeystream({buffer, size}, {stream.Data(), stream.Size()}, position);
  *length = static_cast<DWORD>(size);
  if (exportable) *exportable = flag;
  return true;
}

bool WriteRegistrySlot(HKEY container, ProtectionKey key, RecordSlot slot, std::uint8_t exportable,
                       std::span<const std::uint8_t> record, const SlotValueNames& values) {
  if (!IsKeptSlot(slot, values) || record.size() > kMaxStoredKeyRecordSize)
    return FailWith(ERROR_INVALID_PARAMETER);
  const auto index = static_cast<std::size_t>(slot);
  StoredRecords old;
  if (!old.Read(container, values, kSlotCount - 1)) return false;
  const std::size_t position = old.Position(index);
  const std::size_t oldEnd = old.Position(kSlotCount);
  const std::size_t newEnd = oldEnd - old.Size(index) + record.size();
  crypto::WipingBuffer stream;
  if (!MakeKeystream(key, std::max(oldEnd, newEnd), stream)) return false;
  const std::span<const std::uint8_t> keystream(stream.Data(), stream.Size());

  RegistryValueBatch batch(container, kMaxStoredKeyRecordSize);
  crypto::WipingBuffer encrypted;
  if (!batch.Set(ExportFlagName(slot), {&exportable, 1}) ||
      !CopyWithKeystream(record, keystream, position, encrypted) ||
      !batch.Set(values.names[index], {encrypted.Data(), encrypted.Size()}))
    return false;
  if (record.size() != old.Size(index) &&
      !MoveHigherRecords(old, values, index, record.size(), keystream, batch))
    return false;
  batch.Commit();
  return true;
}

}  // namespace tv::csp

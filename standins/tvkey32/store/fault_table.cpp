#include "standins/tvkey32/store/fault_table.h"

#include <algorithm>
#include <utility>

#include "standins/tvkey32/store/byte_codec.h"
#include "standins/tvkey32/store/reader_set.h"
#include "standins/tvkey32/tvkey32_api.h"

namespace tv::keysim {
namespace {

constexpr const char* kExportNames[] = {
    "EnumReaders",      "InitReader",     "CloseReader",      "InitCard",     "CloseCard",
    "VerifyPIN",        "ChangePIN",      "UnblockPIN",       "ReadData",     "WriteData",
    "DeleteData",       "SetDataSize",    "GetRandom",        "GetReaderName", "GetReaderType",
    "IsDataExist",      "IsDataExisting", "GetCardID",        "GetCardType",  "EnumApplications",
    "GetApplicationInfo", "ReadLabel",    "WriteLabel",       "ReadDataApp",  "WriteDataApp",
    "SetDataSizeApp",   "ReadBIR",        "WriteBIR",         "SetBIRSize",   "DeleteBIR",
    "AnyReadersChanges", "ExternalAuth",  "ChangeIssuerKey",  "FormatCard",   "UnformatCard",
};
constexpr std::size_t kMaxEntries = 256;
constexpr std::size_t kMaxNameLength = 260;

// Finds the entry named `name`, counts one use down and drops it when spent.
template <class Entry, class Name>
std::optional<Entry> TakeOne(std::vector<Entry>& entries, std::string_view name, Name nameOf) {
  const auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return EqualNoCase(nameOf(e), name); });
  if (it == entries.end()) return std::nullopt;
  const Entry taken = *it;
  if (it->remaining != tvkey32::kFaultAlways && --it->remaining == 0) entries.erase(it);
  return taken;
}

template <class Entry, class Name>
void RemoveNamed(std::vector<Entry>& entries, std::string_view name, Name nameOf) {
  std::erase_if(entries, [&](const Entry& e) { return EqualNoCase(nameOf(e), name); });
}

const std::string& OperationOf(const OperationFault& f) { return f.operation; }
const std::string& ReaderOf(const ForcedStatus& s) { return s.reader; }

}  // namespace

bool IsExportName(std::string_view name) {
  return std::any_of(std::begin(kExportNames), std::end(kExportNames), [&](const char* n) { return name == n; });
}

void FaultTable::SetOperationFault(std::string_view operation, std::uint32_t count, DWORD error) {
  RemoveNamed(operations, operation, OperationOf);
  if (count > 0) operations.push_back({std::string(operation), count, error});
}

void FaultTable::SetForcedStatus(std::string_view reader, std::int32_t status, std::uint32_t count) {
  RemoveNamed(statuses, reader, ReaderOf);
  if (count > 0) statuses.push_back({std::string(reader), status, count});
}

std::optional<DWORD> FaultTable::TakeOperationFault(std::string_view operation) {
  const auto taken = TakeOne(operations, operation, OperationOf);
  if (!taken) return std::nullopt;
  return taken->error;
}

std::optional<std::int32_t> FaultTable::TakeForcedStatus(std::string_view reader) {
  const auto taken = TakeOne(statuses, reader, ReaderOf);
  if (!taken) return std::nullopt;
  return taken->status;
}

SecretBytes EncodeFaultTable(const FaultTable& table) {
  ByteWriter w;
  w.U32(static_cast<std::uint32_t>(table.operations.size()));
  for (const OperationFault& f : table.operations) {
    w.Text(f.operation);
    w.U32(f.remaining);
    w.U32(f.error);
  }
  w.U32(static_cast<std::uint32_t>(table.statuses.size()));
  for (const ForcedStatus& s : table.statuses) {
    w.Text(s.reader);
    w.U32(static_cast<std::uint32_t>(s.status));
    w.U32(s.remaining);
  }
  return std::move(w.Output());
}

std::optional<FaultTable> DecodeFaultTable(std::span<const std::uint8_t> payload) {
  ByteReader r(payload);
  FaultTable table;
  const std::uint32_t operations = r.U32();
  if (operations > kMaxEntries) return std::nullopt;
  for (std::uint32_t i = 0; i < operations && r.Ok(); ++i) {
    OperationFault f;
    f.operation = r.Text(kMaxNameLength);
    f.remaining = r.U32();
    f.error = r.U32();
    table.operations.push_back(std::move(f));
  }
  const std::uint32_t statuses = r.U32();
  if (statuses > kMaxEntries) return std::nullopt;
  for (std::uint32_t i = 0; i < statuses && r.Ok(); ++i) {
    ForcedStatus s;
    s.reader = r.Text(kMaxNameLength);
    s.status = static_cast<std::int32_t>(r.U32());
    s.remaining = r.U32();
    table.statuses.push_back(std::move(s));
  }
  if (!r.AtEnd()) return std::nullopt;
  return table;
}

}  // namespace tv::keysim

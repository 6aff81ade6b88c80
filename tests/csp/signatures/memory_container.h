// A key container kept in memory behind the storage operations, for
// in-process tests that need a context with a container but no backend: it
// keeps what is written, answers reads from it, counts the reads, and can be
// told that the Key holding it is gone or that writes or reads fail.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <vector>

#include "csp/front/prov_context.h"

namespace tvtest {

struct StoredRecord {
  std::uint8_t exportable = 0;
  std::vector<std::uint8_t> bytes;
};

struct MemoryContainer {
  std::map<tv::csp::RecordSlot, StoredRecord> records;
  bool keyPresent = true;
  DWORD writeError = 0;  // non-zero: every write fails with it
  DWORD readError = 0;   // non-zero: every read of a present record fails with it
  int recordReads = 0;   // reads that returned a record
  int presenceQueries = 0;
};

// Makes `container` the context's container, closing whatever storage the
// context had opened. The container must outlive the context.
void AttachMemoryContainer(tv::csp::ProvContext& context, MemoryContainer& container);

}  // namespace tvtest

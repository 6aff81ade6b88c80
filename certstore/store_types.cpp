#include "certstore/store_types.h"

#include <cstring>

namespace tv::certstore {

StoreType StoreTypeOf(const char* openParameter) {
  if (!openParameter) return StoreType::Unknown;
  for (const PhysicalStore& row : kPhysicalStoreTable)
    if (std::strcmp(row.openParameter, openParameter) == 0) return row.type;
  return StoreType::Unknown;
}

const char* StoreTypeName(StoreType t) {
  for (const PhysicalStore& row : kPhysicalStoreTable)
    if (row.type == t) return row.openParameter;
  return "UNKNOWN";
}

}  // namespace tv::certstore

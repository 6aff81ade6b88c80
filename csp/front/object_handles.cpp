#include "csp/front/object_handles.h"

#include "csp/front/handles.h"
#include "csp/front/process_state.h"

namespace tv::csp {

HCRYPTKEY IssueKeyHandle(KeyObject* key) {
  key->head.tag = HandleTag.load();
  RegisterHandle(HandleKind::Key, key);
  return reinterpret_cast<HCRYPTKEY>(key);
}

void DestroyKey(KeyObject* key) {
  if (!key) return;
  UnregisterHandle(HandleKind::Key, key);
  FreeKeyObject(key);
}

HCRYPTHASH IssueHashHandle(HashObject* hash) {
  hash->head.tag = HandleTag.load();
  RegisterHandle(HandleKind::Hash, hash);
  return reinterpret_cast<HCRYPTHASH>(hash);
}

void DestroyHash(HashObject* hash) {
  if (!hash) return;
  UnregisterHandle(HandleKind::Hash, hash);
  FreeHashObject(hash);
}

}  // namespace tv::csp

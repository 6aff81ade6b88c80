// The certificate chosen for migration: its context, where its key pair
// lives, and, after a certificate migration, the target store that holds it.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "migration/key_source.h"

namespace tv::migration {

class SourceCertificate {
 public:
  SourceCertificate() = default;
  ~SourceCertificate();
  SourceCertificate(const SourceCertificate&) = delete;
  SourceCertificate& operator=(const SourceCertificate&) = delete;

  PCCERT_CONTEXT Context() const { return context_; }
  KeySource& Key() { return key_; }
  const KeySource& Key() const { return key_; }
  // A certificate is chosen and its key pair was found.
  bool Chosen() const { return context_ && key_.keyLength != 0; }
  // The certificate came from the user's system store "MY" (the picker),
  // not from a store a migration wrote.
  bool FromUserStore() const { return context_ && !keptStore_; }

  // Keeps a duplicate of `certificate` (its key source still to be read),
  // releasing the earlier one and a store kept from a migration.
  void Take(PCCERT_CONTEXT certificate);
  // Gives up the certificate, deleting it from its store when `remove`;
  // false when that delete failed.
  bool Release(bool remove);
  // After its certificates moved: the copy `copy` in `store`, which is kept
  // open while the copy is the source.
  void MovedTo(PCCERT_CONTEXT copy, HCERTSTORE store);

 private:
  void CloseKeptStore();

  PCCERT_CONTEXT context_ = nullptr;
  HCERTSTORE keptStore_ = nullptr;
  KeySource key_;
};

}  // namespace tv::migration

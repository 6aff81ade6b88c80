// The certificate chosen for migration: its context, where its key pair
// lives, and the store that holds it, kept open while the certificate is
// the source: a store's provider hears of a delete only while the store is
// open (Wine).
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
  // The certificate was chosen with its entry in the user's registry store
  // "MY", which takes the changes the applet makes to it (see
  // user_store_mirror.h). A certificate a migration wrote elsewhere, or one
  // the Key's store shows, has none: a copy of it in that store is not it.
  bool InUserStore() const { return inUserStore_; }

  // Keeps a duplicate of `certificate` (its key source still to be read)
  // and its store, releasing the earlier ones.
  void Take(PCCERT_CONTEXT certificate);
  // Gives up the certificate, deleting it from its store when `remove`;
  // false when that delete failed.
  bool Release(bool remove);
  // After its certificates moved: the copy `copy` in `store`, whose handle
  // it takes.
  void MovedTo(PCCERT_CONTEXT copy, HCERTSTORE store);

 private:
  void CloseKeptStore();

  PCCERT_CONTEXT context_ = nullptr;
  HCERTSTORE keptStore_ = nullptr;
  KeySource key_;
  bool inUserStore_ = false;
};

}  // namespace tv::migration

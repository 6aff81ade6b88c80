// Wine's system stores do not write back what is changed through their
// certificates: a delete reaches the registry only when it is made through
// the registry store itself, and a property set not even then, only with a
// certificate added anew (measured). The applet repeats such a
// change on the certificate's entry in the current user's registry "MY"
// store; where the platform wrote the change back already, the repeat finds
// it done.
#pragma once
#include <windows.h>
#include <wincrypt.h>

namespace tv::migration {

// Whether the current user's registry "MY" store holds the certificate.
bool InUserStore(PCCERT_CONTEXT certificate);
// A certificate of the system store "MY", its properties changed: its
// registry entry takes the certificate's properties.
void UpdateUserStoreEntry(PCCERT_CONTEXT certificate);
void DeleteFromUserStore(PCCERT_CONTEXT certificate);

}  // namespace tv::migration

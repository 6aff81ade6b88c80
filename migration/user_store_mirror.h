// Wine's system stores do not write back what is changed through their
// certificates: a property set or a delete reaches the registry only when it
// is made through the registry store itself (measured). The applet repeats
// such a change on the certificate's entry in the current user's registry
// "MY" store; where the platform wrote the change back already, the repeat
// finds it done.
#pragma once
#include <windows.h>
#include <wincrypt.h>

namespace tv::migration {

void SetPropertyInUserStore(PCCERT_CONTEXT certificate, DWORD property, const void* data);
void DeleteFromUserStore(PCCERT_CONTEXT certificate);

}  // namespace tv::migration

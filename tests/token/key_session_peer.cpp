// Another process of the user opening the Key silently, as a second
// application would with the session block left by the first.
// Exit codes: 0 the Key opened and its data could be read (its PIN was
// verified), 1 it opened without a verified PIN, 2 it did not open.
#include "token/key_session.h"

namespace {
constexpr int kProviderApplication = 221;
}  // namespace

int main() {
  tv::token::CSmartKey_GUI session(tv::token::kProviderSmartKey, "csp");
  if (!session.Initialize(kProviderApplication)) return 2;
  session.SetSilent(true);
  const int reader = session.OpenCard(nullptr, nullptr, "peer", 0, "", nullptr, "");
  if (reader == -1) return 2;
  char data[4];
  DWORD length = sizeof data;
  const bool read = session.Library().ReadData(reader, 0, data, &length) != FALSE;
  session.ReleaseCard(reader, 0);
  return read ? 0 : 1;
}

#include "migration/applet_messages.h"

#include "common/language.h"
#include "migration/applet_strings.h"

namespace tv::migration {
namespace {

constexpr int kTitleBufferSize = 256;
char Title[kTitleBufferSize];

}  // namespace

void LoadAppletTitle() { LoadStringText(kTextTitle, Title, sizeof Title); }

const char* AppletTitle() { return Title; }

int ShowMessage(HWND owner, UINT id, UINT type) {
  char text[kTextBufferSize];
  LoadStringText(id, text, sizeof text);
  return MessageBoxA(owner, text, Title, type);
}

}  // namespace tv::migration

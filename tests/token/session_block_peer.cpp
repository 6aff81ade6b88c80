// Another process of the same user opening the session block: it checks the
// remembered card ID and PIN that the test wrote, then writes what a reader
// choice would leave (cancel marker 1, three Keys).
// Usage: session_block_peer <block name> <card ID in hex> <PIN>
// Exit codes: 0 as expected, 2 bad arguments, 3 no block, 4 other contents.
#include <cstdio>
#include <cstring>

#include "token/session_block.h"

using namespace tv::token;

int main(int argc, char** argv) {
  if (argc != 4 || std::strlen(argv[2]) != 16) return 2;
  unsigned char cardId[8];
  for (int i = 0; i < 8; ++i) {
    unsigned value = 0;
    if (std::sscanf(argv[2] + 2 * i, "%2x", &value) != 1) return 2;
    cardId[i] = static_cast<unsigned char>(value);
  }
  auto* block = static_cast<SessionBlock*>(ShareMemAlloc(sizeof(SessionBlock), argv[1]));
  if (!block) return 3;
  const bool same = std::memcmp(block->cardId, cardId, sizeof cardId) == 0 && std::strcmp(block->pin, argv[3]) == 0;
  if (same) {
    block->cancelMarker = 1;
    block->keyCount = 3;
  }
  ShareMemFree(block);
  return same ? 0 : 4;
}

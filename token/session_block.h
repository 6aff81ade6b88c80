// The session block: a small memory block shared by all processes of the
// user that remembers the last Key's card ID and PIN, and what the user
// declined at the last reader choice, so that a later Key session in this or
// another process need not ask again.
//
// The block is a named mapping in the logon session's own namespace
// ("Local\"), readable and writable by the current user only. Its layout is
// a format shared between processes (and between versions of the product):
// 256 bytes, zero when first created.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv::token {

struct SessionBlock {
  std::uint8_t cardId[8];      // card ID of the Key whose PIN is remembered; all zero when none
  char pin[65];                // that Key's PIN, terminated
  std::uint8_t unused1[7];
  std::int32_t cancelMarker;   // 1 after the user declined a call that remembers a cancel
  std::int32_t readerIndex;    // index of the reader chosen last
  std::int32_t keyCount;       // Keys found at the last reader choice
  std::int32_t readerCount;    // readers at the last reader choice
  std::uint8_t unused2[160];
};
static_assert(sizeof(SessionBlock) == 256);
static_assert(offsetof(SessionBlock, pin) == 8);
static_assert(offsetof(SessionBlock, cancelMarker) == 80);
static_assert(offsetof(SessionBlock, readerIndex) == 84);
static_assert(offsetof(SessionBlock, keyCount) == 88);
static_assert(offsetof(SessionBlock, readerCount) == 92);

inline constexpr char kSessionBlockName[] = "TVSHMEM";
// The bytes that ClearSessionBlock forgets: everything in use.
inline constexpr std::size_t kSessionBlockUsed = 96;

// Who shares the block: the provider names it per user ("<name>_<user>"),
// the store provider by its name alone and refuses the SYSTEM account.
enum class SessionBlockSharing { PerUser, PerSession };

// The mapping name for `name` and the user `userName` ("Local\" and the
// name), or "" when no block is to be made.
std::string SessionBlockMappingName(const char* name, const char* userName, SessionBlockSharing sharing);

// A view of the block `name` of `size` bytes, created zero-filled when no
// process of the user holds it yet; null when it cannot be made. The mapping
// handle is one per process: a second call maps another view of it.
void* ShareMemAlloc(std::size_t size, const char* name, SessionBlockSharing sharing = SessionBlockSharing::PerUser);
// Unmaps `view` and closes the process's mapping handle.
void ShareMemFree(void* view);

// Forgets the remembered Key, its PIN, the cancel marker, the counts and the
// last reader (the block's first 96 bytes); a null block is left alone.
bool ClearSessionBlock(SessionBlock* block);
// Wipes the remembered PIN only.
void ForgetRememberedPin(SessionBlock* block);

}  // namespace tv::token

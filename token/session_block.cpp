#include "token/session_block.h"

#include <aclapi.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "common/trace_log.h"

namespace tv::token {
namespace {

constexpr char kAllocLabel[] = "ShareMemAlloc";
constexpr DWORD kUserNameMax = 256;

std::mutex mappingLock;
HANDLE mapping = nullptr;  // one per process, guarded by mappingLock

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// The SID of the user the process runs as, in `buffer`.
PSID CurrentUserSid(std::vector<BYTE>& buffer) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
  UniqueHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return nullptr;
  buffer.resize(size);
  if (!GetTokenInformation(raw, TokenUser, buffer.data(), size, &size)) return nullptr;
  return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

// A security descriptor whose only entry gives the current user full access
// to the mapping, and which names that user as its owner. The descriptor
// points into the other members.
struct UserOnlySecurity {
  std::vector<BYTE> user;
  std::vector<BYTE> acl;
  SECURITY_DESCRIPTOR descriptor = {};

  bool Build() {
    const PSID sid = CurrentUserSid(user);
    if (!sid) return false;
    acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    auto* list = reinterpret_cast<ACL*>(acl.data());
    return InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
           AddAccessAllowedAce(list, ACL_REVISION, FILE_MAP_ALL_ACCESS, sid) &&
           InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&descriptor, sid, FALSE) &&
           SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE);
  }
};

// The mapping of `mappingName`, made for the current user only; null with
// the last error set when it cannot be made.
HANDLE CreateUserMapping(const std::string& mappingName, std::size_t size) {
  UserOnlySecurity security;
  if (!security.Build()) return nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &security.descriptor, FALSE};
  const auto size64 = static_cast<unsigned long long>(size);
  return CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, static_cast<DWORD>(size64 >> 32),
                            static_cast<DWORD>(size64), mappingName.c_str());
}

}  // namespace

std::string SessionBlockMappingName(const char* name, const char* userName, SessionBlockSharing sharing) {
  if (!name || !*name) return {};
  std::string mappingName = std::string("Local\\") + name;
  if (sharing == SessionBlockSharing::PerSession) {
    if (userName && std::strcmp(userName, "SYSTEM") == 0) return {};
    return mappingName;
  }
  if (!userName || !*userName) return {};
  return mappingName + "_" + userName;
}

void* ShareMemAlloc(std::size_t size, const char* name, SessionBlockSharing sharing) {
  const std::lock_guard<std::mutex> hold(mappingLock);
  if (!mapping) {
    char userName[kUserNameMax + 1] = {};
    DWORD length = sizeof userName;
    if (!GetUserNameA(userName, &length)) {
      WriteLog(LogError, kAllocLabel, "1. %08X.", static_cast<unsigned>(GetLastError()));
      return nullptr;
    }
    const std::string mappingName = SessionBlockMappingName(name, userName, sharing);
    if (mappingName.empty()) {
      WriteLog(LogError, kAllocLabel, "2. %s.", userName);
      return nullptr;
    }
    mapping = CreateUserMapping(mappingName, size);
    if (!mapping) {
      WriteLog(LogError, kAllocLabel, "4. %08X. %08X. %s.", static_cast<unsigned>(GetLastError()),
               static_cast<unsigned>(size), mappingName.c_str());
      return nullptr;
    }
  }
  return MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, size);
}

void ShareMemFree(void* view) {
  WriteLog(LogTrace, "ShareMemFree", "1.");
  const std::lock_guard<std::mutex> hold(mappingLock);
  if (!mapping) return;
  if (view) UnmapViewOfFile(view);
  CloseHandle(mapping);
  mapping = nullptr;
}

bool ClearSessionBlock(SessionBlock* block) {
  if (block) SecureZeroMemory(block, kSessionBlockUsed);
  return true;
}

void ForgetRememberedPin(SessionBlock* block) {
  if (block) SecureZeroMemory(block->pin, sizeof block->pin);
}

}  // namespace tv::token

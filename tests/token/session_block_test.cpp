// The session block: its name per user or per session, sharing between two
// processes of the user, what clearing forgets, and that only the current
// user may open it.
#include "token/session_block.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/isolation.h"

namespace {

using namespace tv::token;
using tvtest::UniqueName;

struct NameCase {
  SessionBlockSharing sharing;
  const char* user;
  const char* expected;
};

TEST(SessionBlockName, PerUserOrPerSessionInTheSessionNamespace) {
  const NameCase cases[] = {
      {SessionBlockSharing::PerUser, "alice", "Local\\TVSHMEM_alice"},
      {SessionBlockSharing::PerUser, "SYSTEM", "Local\\TVSHMEM_SYSTEM"},
      {SessionBlockSharing::PerUser, "", ""},
      {SessionBlockSharing::PerSession, "alice", "Local\\TVSHMEM"},
      {SessionBlockSharing::PerSession, "SYSTEM", ""},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(SessionBlockMappingName(kSessionBlockName, c.user, c.sharing), c.expected) << c.user;
  }
}

std::string CurrentUserName() {
  char name[257] = {};
  DWORD length = sizeof name;
  return GetUserNameA(name, &length) ? name : "";
}

class SessionBlockTest : public testing::Test {
 protected:
  void SetUp() override {
    block_ = static_cast<SessionBlock*>(ShareMemAlloc(sizeof(SessionBlock), name_.c_str()));
    ASSERT_NE(block_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (block_) ShareMemFree(block_);
  }

  const std::string name_ = UniqueName("TVSHMEMtest");
  SessionBlock* block_ = nullptr;
};

TEST_F(SessionBlockTest, StartsZeroAndIsSharedWithAnotherProcessOfTheUser) {
  const std::vector<unsigned char> zero(sizeof(SessionBlock), 0);
  ASSERT_EQ(std::memcmp(block_, zero.data(), zero.size()), 0);

  const unsigned char cardId[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  std::memcpy(block_->cardId, cardId, sizeof cardId);
  std::strcpy(block_->pin, "7351");

  const std::string peer = "\"" + tvtest::ProgramDirectory() + "\\session_block_peer.exe\" ";
  EXPECT_EQ(tvtest::RunProcess(peer + name_ + " 0123456789ABCDEF 7351"), 0);
  EXPECT_EQ(block_->cancelMarker, 1);
  EXPECT_EQ(block_->keyCount, 3);

  // The peer sees the other contents as they are: a different PIN is told.
  EXPECT_EQ(tvtest::RunProcess(peer + name_ + " 0123456789ABCDEF 0000"), 4);
}

TEST_F(SessionBlockTest, ASecondViewInTheProcessSeesTheSameBlock) {
  auto* second = static_cast<SessionBlock*>(ShareMemAlloc(sizeof(SessionBlock), name_.c_str()));
  ASSERT_NE(second, nullptr);
  block_->readerIndex = 5;
  EXPECT_EQ(second->readerIndex, 5);
  UnmapViewOfFile(second);
}

TEST_F(SessionBlockTest, ClearingForgetsTheUsedPartAndForgettingThePinOnlyThePin) {
  auto* bytes = reinterpret_cast<unsigned char*>(block_);
  std::memset(bytes, 0xAB, sizeof(SessionBlock));
  ForgetRememberedPin(block_);
  for (std::size_t i = 0; i < sizeof(SessionBlock); ++i) {
    const bool inPin = i >= offsetof(SessionBlock, pin) && i < offsetof(SessionBlock, pin) + sizeof block_->pin;
    ASSERT_EQ(bytes[i], inPin ? 0 : 0xAB) << "byte " << i;
  }

  std::memset(bytes, 0xAB, sizeof(SessionBlock));
  EXPECT_TRUE(ClearSessionBlock(block_));
  for (std::size_t i = 0; i < sizeof(SessionBlock); ++i) {
    ASSERT_EQ(bytes[i], i < kSessionBlockUsed ? 0 : 0xAB) << "byte " << i;
  }
  EXPECT_TRUE(ClearSessionBlock(nullptr));
}

TEST_F(SessionBlockTest, OnlyTheCurrentUserIsGrantedAccess) {
  const std::string mappingName =
      SessionBlockMappingName(name_.c_str(), CurrentUserName().c_str(), SessionBlockSharing::PerUser);
  HANDLE opened = OpenFileMappingA(READ_CONTROL, FALSE, mappingName.c_str());
  ASSERT_NE(opened, nullptr) << GetLastError();

  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(opened, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(opened);

  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<BYTE> user(256);
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size));
  CloseHandle(token);
  const PSID userSid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;

  ASSERT_NE(dacl, nullptr) << "a mapping without a DACL is open to everyone";
  EXPECT_TRUE(EqualSid(owner, userSid));
  ASSERT_EQ(dacl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(dacl, 0, &ace));
  auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_TRUE(EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), userSid));
  LocalFree(descriptor);
}

}  // namespace

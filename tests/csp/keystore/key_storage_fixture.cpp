#include "tests/csp/keystore/key_storage_fixture.h"

#include <wincrypt.h>

#include "token/session_block.h"

namespace tvtest {
namespace {

using tv::csp::RecordSlot;

const TempDir& SharedDirectory() {
  static const TempDir dir;
  return dir;
}

void AppendLittleEndian32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

KeyStorageSession::KeyStorageSession(DWORD silent, const char* pin) {
  EXPECT_TRUE(Ops().OpenKeyStorage(&record_, GetModuleHandleA(nullptr), 0, silent)) << GetLastError();
  if (record_ && pin) Ops().SetContainerPin(record_, pin);
}

KeyStorageSession::~KeyStorageSession() {
  if (!record_) return;
  Ops().CloseKeyContainer(record_, nullptr);
  Ops().CloseStorage(record_);
}

Bytes KeyStorageSession::Read(RecordSlot slot) {
  DWORD length = 0;
  std::uint8_t exportable = 0;
  if (!Ops().ReadKeyContainer(record_, slot, &exportable, nullptr, &length)) return {};
  Bytes record(length);
  if (!Ops().ReadKeyContainer(record_, slot, &exportable, record.data(), &length)) return {};
  EXPECT_EQ(exportable, 1);
  record.resize(length);
  return record;
}

bool KeyStorageSession::Write(RecordSlot slot, Bytes record) {
  return Ops().WriteKeyContainer(record_, slot, 1, record.data(), static_cast<DWORD>(record.size()), 0);
}

Answered RunAnswering(const char* title, std::vector<WindowScript::Step> steps, const std::function<bool()>& call) {
  WindowScript script(title, std::move(steps));
  Answered answered;
  answered.ok = call();
  answered.error = GetLastError();
  answered.seen = script.Finish();
  EXPECT_EQ(script.Unexpected(), 0) << "windows beyond the expected ones, titled " << title;
  EXPECT_EQ(script.Unanswered(), 0) << "expected windows that never came, titled " << title;
  return answered;
}

KeyStorageTest::KeyStorageTest() : SimulatorTest(&SharedDirectory()) {}

void KeyStorageTest::SetUp() {
  SimulatorTest::SetUp();
  static bool readerAdded = false;
  if (!readerAdded) AddReader(kReader);
  readerAdded = true;
  PutFreshKey("k");
  block_ = static_cast<tv::token::SessionBlock*>(
      tv::token::ShareMemAlloc(sizeof(tv::token::SessionBlock), tv::token::kSessionBlockName));
  ASSERT_NE(block_, nullptr);
  ForgetRememberedKey();
}

void KeyStorageTest::ForgetRememberedKey() { tv::token::ClearSessionBlock(block_); }

void KeyStorageTest::TearDown() {
  if (block_) tv::token::ShareMemFree(block_);
  api.KeySimClearFaults();
  Eject(kReader);
  SimulatorTest::TearDown();
}

void KeyStorageTest::PutFreshKey(const std::string& name) {
  CreateKey(name, kKeyPin);
  Insert(name, kReader);
}

Bytes KeyStorageTest::KeyData(const std::string& name) {
  const tv::keysim::KeyState key = LoadKeyState(name);
  const auto found = key.applications.find(kCspApplication);
  if (found == key.applications.end()) return {};
  return Bytes(found->second.data.begin(), found->second.data.end());
}

void KeyStorageTest::SetKeyData(const Bytes& data, const std::string& name) {
  EditKey(name, [&](tv::keysim::KeyState& key) {
    key.applications[kCspApplication].data = tv::keysim::SecretBytes(data.begin(), data.end());
  });
}

void KeyStorageTest::CreateWithPair(KeyStorageSession& storage, const char* name, const Bytes& record) {
  ASSERT_TRUE(storage.Ops().CreateKeyContainer(storage.Get(), name, nullptr)) << std::hex << GetLastError();
  ASSERT_TRUE(storage.Write(RecordSlot::ExchangePrivate, record)) << std::hex << GetLastError();
}

Bytes ExpectedBlock(const std::string& name, const Bytes& record) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[16] = {};
  DWORD size = sizeof digest;
  const bool hashed = CryptAcquireContextA(&provider, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
                      CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
                      CryptHashData(hash, reinterpret_cast<const BYTE*>(name.c_str()),
                                    static_cast<DWORD>(name.size() + 1), 0) &&
                      CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
  EXPECT_TRUE(hashed);
  if (hash) CryptDestroyHash(hash);
  if (provider) CryptReleaseContext(provider, 0);
  Bytes block(digest, digest + 5);
  AppendLittleEndian32(block, 1);
  AppendLittleEndian32(block, static_cast<std::uint32_t>(record.size()));
  block.insert(block.end(), record.begin(), record.end());
  return block;
}

}  // namespace tvtest

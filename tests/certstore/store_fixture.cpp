#include "tests/certstore/store_fixture.h"

#include "certstore/prov_info_blob.h"
#include "standins/tvkey32/store/key_state.h"

namespace tvtest {

using namespace tv::certstore;

StoreProviderTest::Suite* StoreProviderTest::suite = nullptr;

std::vector<BYTE> Joined(std::initializer_list<std::vector<BYTE>> parts) {
  std::vector<BYTE> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

ObservedStoreProvider::ObservedStoreProvider() : removed_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

// The monitor calls onKeyRemoved of this class: it ends before the event goes.
ObservedStoreProvider::~ObservedStoreProvider() {
  Finalize();
  CloseHandle(removed_);
}

void ObservedStoreProvider::onKeyRemoved(const char* readerName) {
  CertStoreProvider::onKeyRemoved(readerName);
  SetEvent(removed_);
}

void StoreProviderTest::SetUpTestSuite() {
  suite = new Suite;
  ASSERT_TRUE(suite->key.Ok());
  const TestKeyPair& k = suite->key;
  const HCRYPTPROV p = k.Provider();
  suite->root = Issue("Test Root", p, "Test Root", k);
  suite->otherRoot = Issue("Other Root", p, "Other Root", k);
  for (int i = 0; i < 11; ++i) suite->intermediates.push_back(Issue("Test CA " + std::to_string(i), p, "Test Root", k));
  suite->personal = Issue("Alice", p, "Test CA 0", k);
  ASSERT_TRUE(suite->personal.Get() && suite->root.Get());
  ASSERT_TRUE(SetKeyProvider(suite->personal, "alice-box", kTavrinProvider));
}

void StoreProviderTest::TearDownTestSuite() {
  delete suite;
  suite = nullptr;
}

void StoreProviderTest::SetUp() {
  SimulatorTest::SetUp();
  AddReader(kReaderA);
  CreateKey("k");
  Insert("k", kReaderA);
  provider = std::make_unique<ObservedStoreProvider>();
  SetProcess("rundll32.exe shell32.dll,Control_RunDLL tvmover.cpl", "tvmover");
}

void StoreProviderTest::TearDown() {
  provider.reset();
  SimulatorTest::TearDown();
}

void StoreProviderTest::UseCountingRunner() {
  provider->SetKeyRunner([this](const KeyRequest&, const KeyOperation& operation) {
    ++keyUses;
    const int reader = api.InitReader(kReaderA);
    bool done = false;
    if (api.InitCard(reader, kStoreApplication) >= 1 && api.VerifyPIN(reader, "")) done = operation(reader);
    const DWORD error = GetLastError();
    api.CloseCard(reader, 0);
    api.CloseReader(reader);
    SetLastError(error);
    return done;
  });
}

void StoreProviderTest::SetProcess(const std::string& commandLine, const char* allowList, const std::string& user) {
  ProcessEnvironment e;
  e.commandLine = [commandLine] { return commandLine; };
  const std::string entries = allowList ? std::string(allowList) + '\0' : std::string();
  e.readAllowList = [entries](char* buffer, DWORD size) {
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(entries.size(), size - 2));
    std::copy_n(entries.data(), n, buffer);
    buffer[n] = '\0';
    return n;
  };
  e.userName = [user]() -> std::optional<std::string> { return user; };
  provider->SetEnvironment(std::move(e));
}

std::vector<Shown> StoreProviderTest::Open(const char* openParameter, bool* opened) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  const bool ok = provider->Open(openParameter, store);
  if (opened) *opened = ok;
  std::vector<Shown> shown;
  for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
    Shown s;
    char name[256] = {};
    CertGetNameStringA(c, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, sizeof name);
    s.commonName = name;
    wchar_t friendly[256] = {};
    DWORD size = sizeof friendly;
    if (CertGetCertificateContextProperty(c, CERT_FRIENDLY_NAME_PROP_ID, friendly, &size)) s.friendlyName = friendly;
    BYTE info[1024];
    size = sizeof info;
    if (CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, info, &size))
      s.container = reinterpret_cast<CRYPT_KEY_PROV_INFO*>(info)->pwszContainerName;
    shown.push_back(s);
  }
  CertCloseStore(store, 0);
  return shown;
}

bool StoreProviderTest::Write(const Certificate& certificate) { return provider->WriteCertificate(certificate.Get()); }

std::vector<BYTE> StoreProviderTest::KeyArea(const std::string& name) {
  const tv::keysim::KeyState key = LoadKeyState(name);
  std::vector<BYTE> area(tv::keysim::AreaSize(key, kStoreApplication));
  EXPECT_EQ(tv::keysim::ReadArea(key, kStoreApplication, 0, area), 0u);
  return area;
}

void StoreProviderTest::SetKeyArea(const std::vector<BYTE>& area, const std::string& name) {
  EditKey(name, [&](tv::keysim::KeyState& key) {
    tv::keysim::EraseArea(key, kStoreApplication);
    EXPECT_EQ(tv::keysim::WriteArea(key, kStoreApplication, 0, area), 0u);
  });
}

std::vector<BYTE> StoreProviderTest::RecordOf(const Certificate& certificate, StoreType type) {
  std::vector<BYTE> blob;
  if (type == StoreType::Personal) {
    BYTE info[1024];
    DWORD size = sizeof info;
    EXPECT_TRUE(CertGetCertificateContextProperty(certificate.Get(), CERT_KEY_PROV_INFO_PROP_ID, info, &size));
    blob.resize(kProvInfoBufferSize);
    DWORD length = kProvInfoBufferSize;
    EXPECT_TRUE(SerializeProvInfo(CERT_KEY_PROV_INFO_PROP_ID, reinterpret_cast<CRYPT_KEY_PROV_INFO*>(info),
                                  blob.data(), &length));
    blob.resize(length);
  }
  return BuildCertRecord(type, certificate.Encoded(), certificate.Sha1(), blob);
}

}  // namespace tvtest

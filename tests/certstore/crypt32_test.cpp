// The provider DLL as the platform reaches it: registered with regsvr32 in
// the test prefix, and opened by a separate process through CertOpenStore
// with the provider name "tvcstore" and an open parameter.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "certstore/cert_record.h"
#include "tests/certstore/store_fixture.h"
#include "tests/csp/context/provider_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"
#include "tests/support/store_allow_list.h"

using namespace tv::certstore;

namespace tvtest {
namespace {

constexpr DWORD kChildBoundMs = 120000;
constexpr const char* kOidKey =
    "Software\\Microsoft\\Cryptography\\OID\\EncodingType 0\\CertDllOpenStoreProv\\tvcstore";

int Regsvr32(const std::string& flags) {
  return RunProcess("regsvr32.exe " + flags + " \"" + ProgramDirectory() + "\\tvcstore.dll\"", kChildBoundMs);
}

bool OpenStoreFunctionRegistered() {
  char dll[MAX_PATH] = {};
  DWORD size = sizeof dll;
  return RegGetValueA(HKEY_LOCAL_MACHINE, kOidKey, "Dll", RRF_RT_REG_SZ, nullptr, dll, &size) == ERROR_SUCCESS &&
         std::string(dll) == "tvcstore.dll";
}

TEST(StoreRegistration, RegistersTwiceAndUnregistersWhenNothingIsRegistered) {
  LogMarker log("cstore");
  ASSERT_TRUE(log.Write("5"));
  EXPECT_EQ(Regsvr32("/s"), 0);
  EXPECT_EQ(Regsvr32("/s"), 0);
  EXPECT_TRUE(OpenStoreFunctionRegistered());
  EXPECT_NE(log.Text().find("physical stores are not available on this platform"), std::string::npos) << log.Text();
  EXPECT_EQ(Regsvr32("/s /u"), 0);
  EXPECT_FALSE(OpenStoreFunctionRegistered());
  EXPECT_EQ(Regsvr32("/s /u"), 0);
}

// Each test: the provider registered, a "tv_cstore" section that allows
// tvcstore-tool, and the Key simulator of the test (inherited by the child).
class Crypt32StoreTest : public StoreProviderTest {
 protected:
  void SetUp() override {
    StoreProviderTest::SetUp();
    ASSERT_EQ(Regsvr32("/s"), 0);
    AllowClient(true);
    RememberKey();
  }
  void TearDown() override {
    AllowClient(false);
    Regsvr32("/s /u");
    StoreProviderTest::TearDown();
  }

  // The session remembers the Key (its card ID, no PIN), as after an earlier
  // use: the tool's stores open it without a dialog, and a first personal
  // certificate is written without asking for a new PIN. The block lives
  // while the test's provider holds it.
  void RememberKey() {
    tv::token::SessionBlock* block = provider->Block();
    ASSERT_NE(block, nullptr);
    const tv::keysim::CardId id = LoadKeyState("k").cardId;
    std::memcpy(block->cardId, id.data(), id.size());
  }

  void AllowClient(bool allow) { EXPECT_TRUE(allowList_.Allow(allow ? "tvcstore-tool" : "")); }

  // Runs tvcstore-tool; its output lines in `lines`. The tool's own
  // command line is what the provider checks: "tvmover.cpl" as a last,
  // ignored argument lets it write.
  int Client(const std::string& arguments, std::vector<std::string>* lines = nullptr) {
    const std::string out = File("client.txt");
    const int code = RunProcess("\"" + ProgramDirectory() + "\\tvcstore-tool.exe\" --out \"" + out + "\" " + arguments,
                                kChildBoundMs);
    if (lines) {
      lines->clear();
      std::istringstream text(ReadFileText(out));
      for (std::string line; std::getline(text, line);) lines->push_back(line);
      std::sort(lines->begin(), lines->end());
    }
    return code;
  }

  StoreAllowList allowList_;

  std::string SaveCertificate(const Certificate& certificate, const std::string& name) {
    const std::vector<BYTE> encoded = certificate.Encoded();
    WriteBytes(File(name), std::string(encoded.begin(), encoded.end()));
    return File(name);
  }
};

using Lines = std::vector<std::string>;

TEST_F(Crypt32StoreTest, EachOpenParameterShowsItsCertificates) {
  SetKeyArea(Joined({RecordOf(suite->personal, StoreType::Personal), RecordOf(suite->root, StoreType::Root),
                     RecordOf(suite->intermediates[0], StoreType::Intermediate),
                     RecordOf(suite->intermediates[1], StoreType::Intermediate)}));
  Lines lines;
  ASSERT_EQ(Client("list TV_MY", &lines), 0);
  EXPECT_EQ(lines, Lines{"Alice|Alice - Reader A|alice-box"});
  ASSERT_EQ(Client("list TV_HKLM_CA", &lines), 0);
  EXPECT_EQ(lines, (Lines{"Test CA 0|Test CA 0 - Reader A|", "Test CA 1|Test CA 1 - Reader A|"}));
  ASSERT_EQ(Client("list TV_HKLM_ROOT", &lines), 0);
  EXPECT_EQ(lines, Lines{"Test Root|Test Root - Reader A|"});

  AllowClient(false);
  ASSERT_EQ(Client("list TV_MY", &lines), 0) << "a process not on the allow list gets an empty store";
  EXPECT_TRUE(lines.empty());
}

TEST_F(Crypt32StoreTest, WritesOnlyFromTheMigrationToolAndDeletesEverything) {
  const std::string root = SaveCertificate(suite->root, "root.cer");
  const std::string ca = SaveCertificate(suite->intermediates[0], "ca.cer");
  EXPECT_EQ(Client("add TV_HKLM_ROOT \"" + root + "\""), 0x10000 | ERROR_ACCESS_DENIED);
  EXPECT_TRUE(KeyArea().empty());

  ASSERT_EQ(Client("add TV_HKLM_ROOT \"" + root + "\" \"\" tvmover.cpl"), 0);
  ASSERT_EQ(Client("add TV_HKLM_CA \"" + ca + "\" \"\" tvmover.cpl"), 0);
  EXPECT_EQ(KeyArea(), Joined({RecordOf(suite->root, StoreType::Root),
                               RecordOf(suite->intermediates[0], StoreType::Intermediate)}));
  Lines lines;
  ASSERT_EQ(Client("list TV_HKLM_CA", &lines), 0);
  EXPECT_EQ(lines, Lines{"Test CA 0|Test CA 0 - Reader A|"});

  ASSERT_EQ(Client("delete TV_HKLM_ROOT"), 0);
  EXPECT_TRUE(KeyArea().empty());
}

// The personal certificate leads CryptoAPI to its container in our
// provider, which signs.
TEST_F(Crypt32StoreTest, PersonalCertificateSignsThroughItsContainer) {
  ContainerCleanup containers;
  const std::string container = containers.Add("tvcstore-personal-");
  HCRYPTPROV ours = 0;
  ASSERT_TRUE(CreateContainer(container, 0, IDNO, ours)) << GetLastError();
  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGenKey(ours, AT_SIGNATURE, 1024u << 16, &key));
  CryptDestroyKey(key);
  const Certificate personal = Issue("Bob", ours, "Test CA 0", suite->key);
  CryptReleaseContext(ours, 0);
  ASSERT_TRUE(personal.Get());
  const std::string file = SaveCertificate(personal, "personal.cer");
  ASSERT_EQ(Client("add TV_MY \"" + file + "\" " + container + " tvmover.cpl"), 0);
  Lines lines;
  ASSERT_EQ(Client("sign TV_MY", &lines), 0);
  EXPECT_EQ(lines, Lines{kOurProvider});
}

}  // namespace
}  // namespace tvtest

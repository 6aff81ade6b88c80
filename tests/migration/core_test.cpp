// The migration's parts that need no dialog: the container name made from a
// GUID, the issuer path through the user's "CA" and "ROOT" stores and its
// bound, and the picker's list of certificates with a key container.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "migration/certificate_chain.h"
#include "migration/certificate_picker.h"
#include "migration/migration.h"
#include "tests/certstore/test_certificates.h"
#include "tests/migration/user_stores.h"

namespace tvtest {
namespace {

using tv::migration::CertificateChain;

TEST(GuidContainerName, UpperCaseHexadecimalButTheThirdGroup) {
  const GUID guid = {0x0123abcd, 0x4ef5, 0xa6b7, {0xc8, 0xd9, 0xea, 0xfb, 0x0c, 0x1d, 0x2e, 0x3f}};
  EXPECT_EQ(tv::migration::GuidContainerName(guid), "{0123ABCD-4EF5-a6b7-C8D9-EAFB0C1D2E3F}");
}

// Certificates put into the user's "CA" and "ROOT" stores for one test,
// removed again when it ends.
class UserStores {
 public:
  ~UserStores() {
    for (const char* store : {"CU:CA", "CU:ROOT"}) RemoveCertificates(store, "MTC ");
  }
  void Add(const char* store, const Certificate& certificate) { EXPECT_TRUE(AddToUserStore(store, certificate)); }
};

class ChainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { key = new TestKeyPair(); }
  static void TearDownTestSuite() { delete key; }

  // "MTC <prefix> 0" issued by "MTC <prefix> 1" ... issued by `top`, each
  // in "CA"; the personal certificate "MTC <prefix> leaf" is issued by the first.
  Certificate IntermediatesUpTo(const std::string& prefix, int count, const std::string& top) {
    for (int i = 0; i < count; ++i) {
      const std::string issuer = i + 1 < count ? Name(prefix, i + 1) : top;
      stores.Add("CA", Issue(Name(prefix, i), key->Provider(), issuer, *key));
    }
    return Issue("MTC " + prefix + " leaf", key->Provider(), count ? Name(prefix, 0) : top, *key);
  }
  static std::string Name(const std::string& prefix, int i) { return "MTC " + prefix + " " + std::to_string(i); }

  static std::vector<std::string> Subjects(const CertificateChain& chain) {
    std::vector<std::string> names;
    for (PCCERT_CONTEXT certificate : chain.Certificates()) {
      char name[128] = {};
      CertGetNameStringA(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), name, sizeof name);
      names.push_back(name);
    }
    return names;
  }

  static TestKeyPair* key;
  UserStores stores;
};
TestKeyPair* ChainTest::key = nullptr;

TEST_F(ChainTest, FollowsTheIssuersThroughCaAndEndsInRoot) {
  ASSERT_TRUE(key->Ok());
  stores.Add("ROOT", Issue("MTC a root", key->Provider(), "MTC a root", *key));
  const Certificate leaf = IntermediatesUpTo("a", 2, "MTC a root");
  CertificateChain chain;
  ASSERT_EQ(chain.Build(leaf.Get()), CertificateChain::Status::Complete);
  EXPECT_EQ(Subjects(chain), (std::vector<std::string>{"MTC a 0", "MTC a 1", "MTC a root"}));
}

TEST_F(ChainTest, ASelfSignedCertificateInCaEndsThePath) {
  stores.Add("CA", Issue("MTC b root", key->Provider(), "MTC b root", *key));
  const Certificate leaf = IntermediatesUpTo("b", 1, "MTC b root");
  CertificateChain chain;
  ASSERT_EQ(chain.Build(leaf.Get()), CertificateChain::Status::Complete);
  EXPECT_EQ(Subjects(chain), (std::vector<std::string>{"MTC b 0", "MTC b root"}));
}

// The chain holds ten certificates: nine intermediates and their root fit,
// a tenth intermediate leaves no room for the root, and a loop of issuers
// ends at the bound instead of running on.
TEST_F(ChainTest, StopsAtTenCertificates) {
  struct Case {
    const char* prefix;
    int intermediates;
    CertificateChain::Status status;
    std::size_t length;
  };
  for (const Case& c : {Case{"nine", 9, CertificateChain::Status::Complete, 10},
                        Case{"ten", 10, CertificateChain::Status::Incomplete, 0}}) {
    SCOPED_TRACE(c.prefix);
    const std::string root = std::string("MTC ") + c.prefix + " root";
    stores.Add("ROOT", Issue(root, key->Provider(), root, *key));
    const Certificate leaf = IntermediatesUpTo(c.prefix, c.intermediates, root);
    CertificateChain chain;
    EXPECT_EQ(chain.Build(leaf.Get()), c.status);
    EXPECT_EQ(chain.Certificates().size(), c.length);
  }

  stores.Add("CA", Issue("MTC loop x", key->Provider(), "MTC loop y", *key));
  stores.Add("CA", Issue("MTC loop y", key->Provider(), "MTC loop x", *key));
  const Certificate leaf = Issue("MTC loop leaf", key->Provider(), "MTC loop x", *key);
  CertificateChain chain;
  EXPECT_EQ(chain.Build(leaf.Get()), CertificateChain::Status::Incomplete);
  EXPECT_TRUE(chain.Certificates().empty());
}

TEST_F(ChainTest, APathWithoutRootIsEmpty) {
  const Certificate leaf = IntermediatesUpTo("c", 1, "MTC c nowhere");
  CertificateChain chain;
  EXPECT_EQ(chain.Build(leaf.Get()), CertificateChain::Status::Incomplete);
  EXPECT_TRUE(chain.Certificates().empty());
}

// A memory store of certificates with the key-provider information given.
class PickerListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    key = new TestKeyPair();
    certificate = new Certificate(Issue("MTP person", key->Provider(), "MTP issuer", *key));
  }
  static void TearDownTestSuite() {
    delete certificate;
    delete key;
  }
  void SetUp() override { store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr); }
  void TearDown() override { CertCloseStore(store, 0); }

  // Adds a copy; container null: no key-provider information at all.
  void Add(const wchar_t* container) {
    PCCERT_CONTEXT added = nullptr;
    ASSERT_TRUE(CertAddCertificateContextToStore(store, certificate->Get(), CERT_STORE_ADD_ALWAYS, &added));
    if (container) {
      CRYPT_KEY_PROV_INFO info = {};
      info.pwszContainerName = const_cast<wchar_t*>(container);
      info.pwszProvName = const_cast<wchar_t*>(L"Microsoft Enhanced Cryptographic Provider v1.0");
      info.dwProvType = PROV_RSA_FULL;
      info.dwKeySpec = AT_SIGNATURE;
      EXPECT_TRUE(CertSetCertificateContextProperty(added, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
    }
    CertFreeCertificateContext(added);
  }

  static TestKeyPair* key;
  static Certificate* certificate;
  HCERTSTORE store = nullptr;
};
TestKeyPair* PickerListTest::key = nullptr;
Certificate* PickerListTest::certificate = nullptr;

TEST_F(PickerListTest, ListsOnlyCertificatesWithAKeyContainer) {
  Add(L"box");
  Add(nullptr);
  Add(L"");
  std::vector<tv::migration::CertificateRow> rows;
  bool more = true;
  ASSERT_TRUE(tv::migration::ListKeyCertificates(store, tv::migration::kMaxListedCertificates, &rows, &more));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(more);
  EXPECT_EQ(rows[0].subject, "MTP person");
  EXPECT_EQ(rows[0].issuer, "MTP issuer");
  SYSTEMTIME expires;
  FileTimeToSystemTime(&rows[0].certificate->pCertInfo->NotAfter, &expires);
  EXPECT_EQ(rows[0].expires.substr(rows[0].expires.size() - 4), std::to_string(expires.wYear));
  tv::migration::FreeRows(&rows);
}

TEST_F(PickerListTest, StopsAtItsBoundAndSaysThereAreMore) {
  for (std::size_t i = 0; i <= tv::migration::kMaxListedCertificates; ++i) Add(L"box");
  std::vector<tv::migration::CertificateRow> rows;
  bool more = false;
  ASSERT_TRUE(tv::migration::ListKeyCertificates(store, tv::migration::kMaxListedCertificates, &rows, &more));
  EXPECT_EQ(rows.size(), tv::migration::kMaxListedCertificates);
  EXPECT_TRUE(more);
  tv::migration::FreeRows(&rows);
}

}  // namespace
}  // namespace tvtest

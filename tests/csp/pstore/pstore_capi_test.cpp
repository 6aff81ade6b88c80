// Software containers of our provider in Protected Storage, reached through
// the platform's CryptoAPI with the Protected Storage stand-in in place.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "tests/csp/context/provider_fixture.h"
#include "tests/csp/pstore/standin_store.h"
#include "tests/support/isolation.h"

namespace tvtest {
namespace {

using Values = std::vector<std::pair<std::string, DWORD>>;

std::optional<DWORD> ValueSize(const Values& values, const std::string& name) {
  for (const auto& [value, size] : values)
    if (value == name) return size;
  return std::nullopt;
}

bool GenerateKey(HCRYPTPROV provider, DWORD keySpec, DWORD bits, DWORD flags) {
  HCRYPTKEY key = 0;
  if (!CryptGenKey(provider, keySpec, (bits << 16) | flags, &key)) return false;
  CryptDestroyKey(key);
  return true;
}

bool Open(const std::string& name, HCRYPTPROV& provider, DWORD flags = 0) {
  return CryptAcquireContextA(&provider, name.c_str(), kOurProvider, PROV_RSA_FULL, flags) != FALSE;
}

bool Delete(const std::string& name) {
  HCRYPTPROV provider = 0;
  return Open(name, provider, CRYPT_DELETEKEYSET);
}

// The probe, too, is given the stand-in's directory.
int ProbeInNewProcess(const std::string& name, DWORD exchangeBits, DWORD signatureBits) {
  return RunProcess("\"" + ProgramDirectory() + "\\container_probe.exe\" " + name + " " +
                    std::to_string(exchangeBits) + " " + std::to_string(signatureBits) + " \"" +
                    StandInDirectory() + "\"");
}

// A signature by the container's signature pair, checked by the platform's
// provider with the exported public key.
void ExpectSignatureVerifiesElsewhere(HCRYPTPROV ours) {
  const BYTE message[] = "signed in Protected Storage";
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(CryptCreateHash(ours, CALG_SHA1, 0, 0, &hash));
  ASSERT_TRUE(CryptHashData(hash, message, sizeof message, 0));
  BYTE signature[256];
  DWORD signatureSize = sizeof signature;
  ASSERT_TRUE(CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature, &signatureSize)) << std::hex << GetLastError();
  CryptDestroyHash(hash);

  HCRYPTKEY key = 0;
  ASSERT_TRUE(CryptGetUserKey(ours, AT_SIGNATURE, &key));
  BYTE blob[1024];
  DWORD blobSize = sizeof blob;
  ASSERT_TRUE(CryptExportKey(key, 0, PUBLICKEYBLOB, 0, blob, &blobSize));
  CryptDestroyKey(key);

  HCRYPTPROV platform = 0;
  ASSERT_TRUE(CryptAcquireContextA(&platform, nullptr, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  HCRYPTKEY publicKey = 0;
  ASSERT_TRUE(CryptImportKey(platform, blob, blobSize, 0, 0, &publicKey));
  ASSERT_TRUE(CryptCreateHash(platform, CALG_SHA1, 0, 0, &hash));
  ASSERT_TRUE(CryptHashData(hash, message, sizeof message, 0));
  EXPECT_TRUE(CryptVerifySignatureA(hash, signature, signatureSize, publicKey, nullptr, 0));
  CryptDestroyHash(hash);
  CryptDestroyKey(publicKey);
  CryptReleaseContext(platform, 0);
}

// The export each pair allows: the exchange pair was made exportable.
void ExpectExportsAsMade(HCRYPTPROV ours) {
  const struct {
    DWORD keySpec;
    bool exportable;
  } cases[] = {{AT_KEYEXCHANGE, true}, {AT_SIGNATURE, false}};
  for (const auto& c : cases) {
    HCRYPTKEY key = 0;
    ASSERT_TRUE(CryptGetUserKey(ours, c.keySpec, &key));
    DWORD size = 0;
    EXPECT_EQ(CryptExportKey(key, 0, PRIVATEKEYBLOB, 0, nullptr, &size) != FALSE, c.exportable) << c.keySpec;
    CryptDestroyKey(key);
  }
}

class ProtectedStorageContainers : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standIn_.Loaded()) << "the pstorec.dll stand-in is not in " << StandInDirectory();
  }

  ScopedStandInStore store_;
  StandIn standIn_;
  ContainerCleanup cleanup_;
};

TEST_F(ProtectedStorageContainers, NewSoftwareContainerLivesInProtectedStorage) {
  const std::string name = cleanup_.Add("pstore-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider)) << std::hex << GetLastError();
  ASSERT_TRUE(GenerateKey(provider, AT_KEYEXCHANGE, 1024, CRYPT_EXPORTABLE));
  ASSERT_TRUE(GenerateKey(provider, AT_SIGNATURE, 1024, 0));
  ASSERT_TRUE(CryptReleaseContext(provider, 0));

  const Values values = ContainerValues(name);
  EXPECT_EQ(ValueSize(values, "PSKEYS"), 4u);
  EXPECT_EQ(ValueSize(values, "ExchTypeSubtype"), 32u);
  EXPECT_EQ(ValueSize(values, "SigTypeSubtype"), 32u);
  EXPECT_EQ(ValueSize(values, "EPbK"), 156u);
  EXPECT_EQ(ValueSize(values, "SPbK"), 156u);
  EXPECT_EQ(ValueSize(values, "EPvK"), std::nullopt);
  EXPECT_EQ(ValueSize(values, "SPvK"), std::nullopt);
  for (const GUID* subtype : {&kExchangeSubtype, &kSignatureSubtype}) {
    const std::optional<Bytes> item = standIn_.Item(*subtype, name);
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->size(), 8u + 700u);
  }

  EXPECT_EQ(ProbeInNewProcess(name, 1024, 1024), 0);
  ASSERT_TRUE(Open(name, provider)) << std::hex << GetLastError();
  ExpectSignatureVerifiesElsewhere(provider);
  ExpectExportsAsMade(provider);
  ASSERT_TRUE(CryptReleaseContext(provider, 0));

  EXPECT_TRUE(Delete(name)) << std::hex << GetLastError();
  EXPECT_TRUE(ContainerValues(name).empty());
  EXPECT_EQ(standIn_.Item(kExchangeSubtype, name), std::nullopt);
  EXPECT_EQ(standIn_.Item(kSignatureSubtype, name), std::nullopt);
  // Gone from software storage: only a Key could still hold it, and a silent
  // open does not ask for one.
  EXPECT_FALSE(Open(name, provider, CRYPT_SILENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_SILENT_CONTEXT));
}

TEST_F(ProtectedStorageContainers, ContainerWithoutKeysOpensAgainAndIsDeleted) {
  const std::string name = cleanup_.Add("pstore-empty-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider)) << std::hex << GetLastError();
  ASSERT_TRUE(CryptReleaseContext(provider, 0));
  EXPECT_EQ(ValueSize(ContainerValues(name), "PSKEYS"), 4u);

  ASSERT_TRUE(Open(name, provider)) << std::hex << GetLastError();
  HCRYPTKEY key = 0;
  EXPECT_FALSE(CryptGetUserKey(provider, AT_KEYEXCHANGE, &key));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_NO_KEY));
  ASSERT_TRUE(CryptReleaseContext(provider, 0));
  EXPECT_EQ(ProbeInNewProcess(name, 0, 0), 0);

  EXPECT_TRUE(Delete(name)) << std::hex << GetLastError();
  EXPECT_TRUE(ContainerValues(name).empty());
}

// The second container reuses the item type and subtypes; a container whose
// items were removed behind the provider's back is still deleted.
TEST_F(ProtectedStorageContainers, SecondContainerAndOneWithoutItems) {
  const std::string first = cleanup_.Add("pstore-first-"), second = cleanup_.Add("pstore-second-");
  for (const std::string& name : {first, second}) {
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider)) << name << " " << std::hex << GetLastError();
    ASSERT_TRUE(GenerateKey(provider, AT_SIGNATURE, 512, 0));
    ASSERT_TRUE(CryptReleaseContext(provider, 0));
    EXPECT_TRUE(standIn_.Item(kSignatureSubtype, name).has_value()) << name;
  }
  ASSERT_EQ(standIn_.DeleteItem(kSignatureSubtype, first), S_OK);
  EXPECT_TRUE(Delete(first)) << std::hex << GetLastError();
  EXPECT_TRUE(ContainerValues(first).empty());
  EXPECT_EQ(ProbeInNewProcess(second, 0, 512), 0);
}

TEST_F(ProtectedStorageContainers, UserProtectedKeysLeaveConfirmationToTheService) {
  const std::string name = cleanup_.Add("pstore-confirm-");
  HCRYPTPROV provider = 0;
  ASSERT_TRUE(CreateContainer(name, 0, IDNO, provider));
  ASSERT_TRUE(GenerateKey(provider, AT_SIGNATURE, 512, CRYPT_USER_PROTECTED));
  ASSERT_TRUE(GenerateKey(provider, AT_KEYEXCHANGE, 512, 0));
  ASSERT_TRUE(CryptReleaseContext(provider, 0));
  EXPECT_EQ(standIn_.ConfirmationStyle(kSignatureSubtype, name), DWORD{0});  // PST_CF_DEFAULT
  EXPECT_EQ(standIn_.ConfirmationStyle(kExchangeSubtype, name), DWORD{1});   // PST_CF_NONE
}

}  // namespace
}  // namespace tvtest

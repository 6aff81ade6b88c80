// The store provider driven in-process against the Key simulator: reader
// "Reader A" holds Key "k" (no PIN), certificates are made once per suite,
// and the provider sees a process environment of the test's choosing.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "certstore/cert_store_provider.h"
#include "tests/certstore/test_certificates.h"
#include "tests/standins/simulator_fixture.h"

namespace tvtest {

inline constexpr const char* kReaderA = "Reader A";
inline constexpr const char* kTavrinProvider = "Tavrin RSA Cryptographic Provider v1.0";

// The byte strings one after the other.
std::vector<BYTE> Joined(std::initializer_list<std::vector<BYTE>> parts);

// Tells the test when the monitor reported a removed Key.
class ObservedStoreProvider : public tv::certstore::CertStoreProvider {
 public:
  ObservedStoreProvider();
  ~ObservedStoreProvider() override;
  HANDLE KeyRemoved() const { return removed_; }

 protected:
  void onKeyRemoved(const char* readerName) override;

 private:
  HANDLE removed_;
};

// What a store showed of one certificate.
struct Shown {
  std::string commonName;
  std::wstring friendlyName;
  std::wstring container;  // of the key-provider information; empty when none
};

class StoreProviderTest : public SimulatorTest {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Routes every Key use through the test's own opening of "Reader A",
  // counted in keyUses.
  void UseCountingRunner();
  // The command line, allow list and user the provider sees.
  void SetProcess(const std::string& commandLine, const char* allowList, const std::string& user = "alice");

  std::vector<Shown> Open(const char* openParameter, bool* opened = nullptr);
  bool Write(const Certificate& certificate);
  // The certificate area of Key `name`.
  std::vector<BYTE> KeyArea(const std::string& name = "k");
  void SetKeyArea(const std::vector<BYTE>& area, const std::string& name = "k");

  // Records as the provider keeps them.
  static std::vector<BYTE> RecordOf(const Certificate& certificate, tv::certstore::StoreType type);

  std::unique_ptr<ObservedStoreProvider> provider;
  int keyUses = 0;

  struct Suite {
    TestKeyPair key;
    Certificate root, otherRoot, personal;
    std::vector<Certificate> intermediates;  // 11 distinct ones
  };
  static Suite* suite;
};

}  // namespace tvtest

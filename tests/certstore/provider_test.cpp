// The store provider against the Key simulator: what a store opened on the
// Key shows, what writing and deleting do to the Key's certificate area, the
// cache between opens, the process rules, and Key data that lies.
#include <algorithm>

#include "certstore/cert_record.h"
#include "certstore/key_access.h"
#include "resources/token_dialog_ids.h"
#include "tests/certstore/store_fixture.h"
#include "tests/support/window_script.h"

using namespace tv::certstore;

namespace tvtest {
namespace {

// The common names shown, sorted (a store keeps no order).
std::vector<std::string> Names(const std::vector<Shown>& shown) {
  std::vector<std::string> names;
  for (const Shown& s : shown) names.push_back(s.commonName);
  std::sort(names.begin(), names.end());
  return names;
}

using Names_ = std::vector<std::string>;

class KeyStoreTest : public StoreProviderTest {};

TEST_F(KeyStoreTest, WrittenCertificatesComeBackInTheirStores) {
  UseCountingRunner();
  ASSERT_TRUE(Write(suite->personal)) << GetLastError();
  ASSERT_TRUE(Write(suite->root)) << GetLastError();
  ASSERT_TRUE(Write(suite->intermediates[0])) << GetLastError();
  ASSERT_TRUE(Write(suite->intermediates[1])) << GetLastError();

  // A provider of another process: nothing cached, everything from the Key.
  provider = std::make_unique<ObservedStoreProvider>();
  SetProcess("C:\\app\\mail.exe", "mail.exe");
  UseCountingRunner();
  const std::vector<Shown> personal = Open("TV_MY");
  ASSERT_EQ(personal.size(), 1u);
  EXPECT_EQ(personal[0].commonName, "Alice");
  EXPECT_EQ(personal[0].friendlyName, L"Alice - Reader A");
  EXPECT_EQ(personal[0].container, L"alice-box");
  EXPECT_EQ(Names(Open("TV_HKLM_CA")), (Names_{"Test CA 0", "Test CA 1"}));
  const std::vector<Shown> root = Open("TV_HKLM_ROOT");
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].friendlyName, L"Test Root - Reader A");
  EXPECT_TRUE(root[0].container.empty());
  const int uses = keyUses;
  EXPECT_TRUE(Open("TV_OTHER").empty());
  EXPECT_EQ(keyUses, uses);
}

TEST_F(KeyStoreTest, PersonalCertificateIsAlwaysTheFirstRecord) {
  UseCountingRunner();
  ASSERT_TRUE(Write(suite->root));
  ASSERT_TRUE(Write(suite->intermediates[0]));
  ASSERT_TRUE(Write(suite->personal));
  EXPECT_EQ(KeyArea(), RecordOf(suite->personal, StoreType::Personal));
  EXPECT_EQ(provider->Cache().Count(), 1u);
  ASSERT_TRUE(Write(suite->root));
  EXPECT_EQ(KeyArea(), Joined({RecordOf(suite->personal, StoreType::Personal), RecordOf(suite->root, StoreType::Root)}));
}

TEST_F(KeyStoreTest, IntermediateOf1000BytesBecomesA1048ByteRecord) {
  UseCountingRunner();
  const Certificate ca = Issue("Sized CA", suite->key.Provider(), "Test Root", suite->key, 1000);
  ASSERT_EQ(ca.Size(), 1000u);
  ASSERT_TRUE(Write(ca));
  const std::vector<BYTE> area = KeyArea();
  ASSERT_EQ(area.size(), 1048u);
  EXPECT_EQ(ReadU32(area.data()), 2u);
  EXPECT_EQ(ReadU32(area.data() + 4), 1040u);
  EXPECT_EQ(ReadU32(area.data() + 8), 1036u);
}

TEST_F(KeyStoreTest, SecondRootAndSameIntermediateTwiceExist) {
  UseCountingRunner();
  ASSERT_TRUE(Write(suite->root));
  ASSERT_TRUE(Write(suite->intermediates[0]));
  const std::vector<BYTE> before = KeyArea();
  EXPECT_FALSE(Write(suite->otherRoot));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_EXISTS));
  EXPECT_FALSE(Write(suite->intermediates[0]));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_EXISTS));
  EXPECT_EQ(KeyArea(), before);
  ASSERT_TRUE(Write(suite->intermediates[1]));
  EXPECT_EQ(KeyArea(), Joined({before, RecordOf(suite->intermediates[1], StoreType::Intermediate)}));
}

// Writes refused before the Key is touched.
TEST_F(KeyStoreTest, RefusedWritesLeaveTheKeyAlone) {
  UseCountingRunner();
  const Certificate largest = Issue("Largest CA", suite->key.Provider(), "Test Root", suite->key, 2952);
  const Certificate tooLarge = Issue("Large CA", suite->key.Provider(), "Test Root", suite->key, 2953);
  ASSERT_EQ(tooLarge.Size(), 2953u);
  EXPECT_FALSE(Write(tooLarge));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));

  SetProcess("C:\\app\\mail.exe", "mail.exe");
  EXPECT_FALSE(Write(suite->root));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetProcess("rundll32.exe shell32.dll,Control_RunDLL tvmover.cpl", nullptr);  // not on the allow list
  EXPECT_FALSE(Write(suite->root));
  EXPECT_EQ(keyUses, 0);
  EXPECT_TRUE(KeyArea().empty());

  SetProcess("rundll32.exe shell32.dll,Control_RunDLL tvmover.cpl", "tvmover");
  ASSERT_EQ(largest.Size(), 2952u);
  EXPECT_TRUE(Write(largest));
  EXPECT_EQ(KeyArea().size(), 3000u);
}

TEST_F(KeyStoreTest, FullCacheRefusesTheWriteBeforeTheKey) {
  UseCountingRunner();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Write(suite->intermediates[i])) << i;
  const int uses = keyUses;
  const std::size_t used = KeyArea().size();
  EXPECT_FALSE(Write(suite->intermediates[10]));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
  EXPECT_EQ(keyUses, uses);
  EXPECT_EQ(KeyArea().size(), used);
  EXPECT_TRUE(Write(suite->personal)) << "a personal certificate starts afresh";
}

TEST_F(KeyStoreTest, SecondOpenIsServedFromTheCache) {
  UseCountingRunner();
  SetKeyArea(Joined({RecordOf(suite->personal, StoreType::Personal), RecordOf(suite->root, StoreType::Root)}));
  EXPECT_EQ(Names(Open("TV_MY")), Names_{"Alice"});
  EXPECT_EQ(Names(Open("TV_MY")), Names_{"Alice"});
  EXPECT_EQ(keyUses, 1);
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Test Root"});
  EXPECT_EQ(keyUses, 2);
}

TEST_F(KeyStoreTest, EmptyKeyLeavesLaterOpensAloneUntilAWriteOrDelete) {
  UseCountingRunner();
  EXPECT_TRUE(Open("TV_MY").empty());
  EXPECT_TRUE(Open("TV_HKLM_CA").empty());
  EXPECT_EQ(keyUses, 1);
  ASSERT_TRUE(Write(suite->root));
  EXPECT_EQ(keyUses, 2);
  EXPECT_TRUE(Open("TV_MY").empty());
  EXPECT_EQ(keyUses, 3);

  ASSERT_TRUE(provider->DeleteCertificates());
  EXPECT_TRUE(Open("TV_MY").empty());
  EXPECT_EQ(keyUses, 5);
}

TEST_F(KeyStoreTest, FailedReadLetsTheNextOpenReadAgain) {
  UseCountingRunner();
  SetKeyArea(RecordOf(suite->root, StoreType::Root));
  ASSERT_TRUE(api.KeySimSetFault("ReadData", 1, ERROR_IO_DEVICE));
  bool opened = false;
  EXPECT_TRUE(Open("TV_HKLM_ROOT", &opened).empty());
  EXPECT_TRUE(opened);
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Test Root"});
  EXPECT_EQ(keyUses, 2);
}

TEST_F(KeyStoreTest, DeletingEmptiesTheKeysCertificateArea) {
  UseCountingRunner();
  ASSERT_TRUE(Write(suite->personal));
  ASSERT_TRUE(Write(suite->root));
  ASSERT_TRUE(Write(suite->intermediates[0]));
  ASSERT_TRUE(provider->DeleteCertificates());
  EXPECT_TRUE(KeyArea().empty());
  EXPECT_EQ(provider->Cache().Count(), 0u);
  EXPECT_TRUE(Open("TV_HKLM_CA").empty());
}

TEST_F(KeyStoreTest, OnePersonalAndOneRootAnyNumberOfIntermediates) {
  UseCountingRunner();
  SetKeyArea(Joined({RecordOf(suite->root, StoreType::Root), RecordOf(suite->otherRoot, StoreType::Root),
                     RecordOf(suite->intermediates[0], StoreType::Intermediate),
                     RecordOf(suite->intermediates[1], StoreType::Intermediate),
                     RecordOf(suite->intermediates[2], StoreType::Intermediate)}));
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Test Root"});
  EXPECT_EQ(Names(Open("TV_HKLM_CA")), (Names_{"Test CA 0", "Test CA 1", "Test CA 2"}));
}

TEST_F(KeyStoreTest, ReadingStopsAtAFullCache) {
  UseCountingRunner();
  std::vector<BYTE> area;
  for (const Certificate& ca : suite->intermediates) {
    const std::vector<BYTE> record = RecordOf(ca, StoreType::Intermediate);
    area.insert(area.end(), record.begin(), record.end());
  }
  SetKeyArea(area);
  EXPECT_EQ(Open("TV_HKLM_CA").size(), 10u);
  EXPECT_EQ(provider->Cache().Count(), 10u);
}

// Key data that lies: the read ends at the first impossible record with
// what came before it, and never fails the open.
TEST_F(KeyStoreTest, CraftedKeyDataReadsCleanly) {
  const std::vector<BYTE> ca0 = RecordOf(suite->intermediates[0], StoreType::Intermediate);
  const std::vector<BYTE> ca1 = RecordOf(suite->intermediates[1], StoreType::Intermediate);
  const auto patched = [](std::vector<BYTE> record, std::size_t at, DWORD value) {
    WriteU32(record.data() + at, value);
    return record;
  };
  std::vector<BYTE> badProvInfo = RecordOf(suite->personal, StoreType::Personal);
  const std::size_t blobAt = suite->personal.Size() + 56;
  WriteU32(badProvInfo.data() + blobAt, 0x7FFFFFF0);  // containerBytes

  struct Case {
    const char* what;
    std::vector<BYTE> area;
    const char* parameter;
    std::size_t shown;
  };
  const Case cases[] = {
      {"lengthAfter8 of 0", Joined({ca0, patched(ca1, 4, 0)}), "TV_HKLM_CA", 1},
      {"lengthAfter8 that wraps", Joined({ca0, patched(ca1, 4, 0xFFFFFFF8)}), "TV_HKLM_CA", 1},
      {"record past the area", Joined({ca0, std::vector<BYTE>(ca1.begin(), ca1.end() - 1)}), "TV_HKLM_CA", 1},
      {"header cut", Joined({ca0, std::vector<BYTE>(ca1.begin(), ca1.begin() + 12)}), "TV_HKLM_CA", 1},
      {"lengthAfter12 disagrees", Joined({patched(ca0, 8, 5000), ca1}), "TV_HKLM_CA", 0},
      {"certificate length past its record", Joined({patched(ca0, 16, 2000), ca1}), "TV_HKLM_CA", 0},
      {"skipped record of another type lies", Joined({patched(ca0, 4, 0x10000), ca1}), "TV_HKLM_ROOT", 0},
      {"bad ProvInfoBlob", badProvInfo, "TV_MY", 0},
      {"not a certificate", patched(ca0, 20, 0xFFFFFFFF), "TV_HKLM_CA", 0},
  };
  for (const Case& c : cases) {
    provider = std::make_unique<ObservedStoreProvider>();
    SetProcess("C:\\app\\mail.exe", "mail.exe");
    UseCountingRunner();
    SetKeyArea(c.area);
    bool opened = false;
    EXPECT_EQ(Open(c.parameter, &opened).size(), c.shown) << c.what;
    EXPECT_TRUE(opened) << c.what;
    EXPECT_EQ(provider->Cache().Count(), c.shown) << c.what;
  }
}

TEST_F(KeyStoreTest, UserSystemAndIgnoredProcessesGetEmptyStoresWithoutTheKey) {
  UseCountingRunner();
  SetKeyArea(RecordOf(suite->root, StoreType::Root));
  SetProcess("C:\\app\\mail.exe", "mail.exe", "SYSTEM");
  bool opened = false;
  EXPECT_TRUE(Open("TV_HKLM_ROOT", &opened).empty());
  EXPECT_TRUE(opened);
  SetProcess("C:\\app\\mail.exe", nullptr);
  EXPECT_TRUE(Open("TV_HKLM_ROOT", &opened).empty());
  EXPECT_TRUE(opened);
  EXPECT_EQ(keyUses, 0);
  SetProcess("C:\\app\\MAIL.EXE -x", "Mail.exe");
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Test Root"});
}

TEST_F(KeyStoreTest, KeyRequestsCarryTheirCaptionsAndFlags) {
  std::vector<std::pair<UINT, int>> requests;
  provider->SetKeyRunner([&](const KeyRequest& request, const KeyOperation&) {
    requests.emplace_back(request.captionId, request.openFlags);
    return false;
  });
  Open("TV_MY");
  Write(suite->personal);
  Write(suite->root);
  provider->DeleteCertificates();
  EXPECT_EQ(requests, (std::vector<std::pair<UINT, int>>{{1060, 2}, {1061, 3}, {1061, 2}, {1062, 2}}));
}

// The provider's own opening of the Key and its monitor: removing the Key
// clears the cache, and the next open reads the Key again.
TEST_F(KeyStoreTest, RemovedKeyClearsTheCacheAndTheNextOpenReadsAgain) {
  SetKeyArea(RecordOf(suite->root, StoreType::Root));
  CreateKey("k2");
  SetKeyArea(RecordOf(suite->otherRoot, StoreType::Root), "k2");
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Test Root"});
  ASSERT_TRUE(provider->MonitorRunning());

  Eject(kReaderA);
  ASSERT_EQ(WaitForSingleObject(provider->KeyRemoved(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(provider->Cache().Count(), 0u);
  Insert("k2", kReaderA);
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Other Root"});
}

// Through the Key session: a Key whose PIN is not remembered asks for it
// once; the PIN becomes the reader's cached PIN, and the reader is ready.
TEST_F(KeyStoreTest, KeySessionAsksForThePinOnceAndTheReaderKeepsIt) {
  SetKeyArea(RecordOf(suite->root, StoreType::Root));
  EditKey("k", [](tv::keysim::KeyState& key) { key.pin = tv::keysim::ToSecret("1234"); });
  WindowScript script("Open Certificate", {[](HWND dialog, const WindowSnapshot&) {
                        DialogDriver::TypeText(dialog, IDC_SESSION_ENTRY, "1234");
                        DialogDriver::Press(dialog, IDOK);
                      }});
  EXPECT_EQ(Names(Open("TV_HKLM_ROOT")), Names_{"Test Root"});
  script.Finish();
  EXPECT_EQ(script.Unanswered(), 0) << "the PIN was asked for";
  EXPECT_EQ(script.Unexpected(), 0);
  const tv::token::ReaderRecord* reader = provider->FindReader(kReaderA);
  ASSERT_NE(reader, nullptr);
  EXPECT_STREQ(reader->cachedPin, "1234");
  EXPECT_EQ(reader->state, tv::token::ReaderState::Ready);
  EXPECT_STREQ(reader->statusText, "Key inserted");
}

}  // namespace
}  // namespace tvtest

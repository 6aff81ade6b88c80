// The trace lines of the hash entries, with the log at its most detailed
// level: handles and states, the data and digest dumps, failure lines, and
// no dump of a session key's bytes.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/trace_log.h"
#include "csp/front/cp_entries.h"
#include "hash_fixture.h"
#include "tests/support/isolation.h"
#include "tests/support/log_marker.h"

namespace {

class HashTraceTest : public tvtest::HashFixture {
 protected:
  void SetUp() override {
    HashFixture::SetUp();
    tv::ResetLog();
    ASSERT_TRUE(marker_.Write("5"));
    ASSERT_TRUE(tv::OpenLog(marker_.Tag().c_str(), nullptr));
  }
  void TearDown() override {
    tv::ResetLog();
    HashFixture::TearDown();
  }

  // Expects a line containing `text`.
  void ExpectLine(const std::string& text) const {
    EXPECT_NE(marker_.Text().find(text), std::string::npos) << "no \"" << text << "\" in\n" << marker_.Text();
  }
  static std::string Hex(ULONG_PTR value) {
    char text[16];
    snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
  }

  tvtest::LogMarker marker_{tvtest::UniqueName("h")};
};

TEST_F(HashTraceTest, EntriesTraceHandlesDataAndDigest) {
  const HCRYPTHASH hash = Create(CALG_SHA1);
  ASSERT_TRUE(Feed(hash, tvtest::AsBytes("abc")));
  ASSERT_EQ(Value(hash).size(), 20u);
  EXPECT_FALSE(Feed(hash, tvtest::AsBytes("abc")));
  HCRYPTHASH copy = 0;
  EXPECT_FALSE(CPDuplicateHash(Provider(), hash, nullptr, 1, &copy));
  ASSERT_TRUE(CPDestroyHash(Provider(), hash));

  const std::string handle = Hex(hash), line = handle + ". 7A5C1234. 00008004. 00000014.";
  ExpectLine("CPCreateHash. 1. " + Hex(Provider()) + ". 7A5C1234. 00008004. 00000000. 00000000.");
  ExpectLine("CPCreateHash. 3. " + handle + ".");
  ExpectLine("CPHashData. 2. " + line);
  ExpectLine("CPHashData. 3. 00000000.");
  ExpectLine("CPHashData. 00000003.");
  ExpectLine("CPHashData. 00000007. 616263.");
  ExpectLine("CPHashData. 4.");
  ExpectLine("CPGetHashParam. 2. " + line);
  ExpectLine("CPGetHashParam. 00000029. A9993E364706816ABA3E25717850C26C9CD0D89D.");
  ExpectLine("CPGetHashParam. 3.");
  ExpectLine("CPHashData. 3. 00000001.");
  ExpectLine("CPHashData. 5. 8009000C.");
  ExpectLine("CPDuplicateHash. 3. " + line);
  ExpectLine("CPDuplicateHash. 5. 00000000. 00000001. ");
  ExpectLine("CPDestroyHash. 2. " + line);
  ExpectLine("CPDestroyHash. 3.");
}

TEST_F(HashTraceTest, SessionKeyLineShowsTheKeyButNotItsBytes) {
  const tvtest::Bytes bytes = {0xA1, 0xB2, 0xC3, 0xD4, 0xE5};
  const HCRYPTKEY key = SessionKey(CALG_RC4, bytes, 40 << 16);
  const HCRYPTHASH hash = Create(CALG_MD5);
  ASSERT_TRUE(CPHashSessionKey(Provider(), hash, key, CRYPT_LITTLE_ENDIAN));

  ExpectLine("CPHashSessionKey. 2. " + Hex(hash) + ". 7A5C1234. 00008003. 00000010.");
  ExpectLine("CPHashSessionKey. 3. " + Hex(key) + ". 7A5C1234. 00000001. FFFFFFFF. 00006801.");
  ExpectLine("CPHashSessionKey. 4. 00000000.");
  ExpectLine("CPHashSessionKey. 5.");
  EXPECT_EQ(marker_.Text().find("A1B2C3D4E5"), std::string::npos);
  EXPECT_EQ(marker_.Text().find("E5D4C3B2A1"), std::string::npos);
}

}  // namespace

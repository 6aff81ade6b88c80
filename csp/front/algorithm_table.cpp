#include "csp/front/algorithm_table.h"

#include <array>
#include <string_view>

namespace tv::csp {
namespace {

static_assert(sizeof(PROV_ENUMALGS) == 32 && sizeof(PROV_ENUMALGS_EX) == 88);

constexpr DWORD kSigning = CRYPT_FLAG_SIGNING;
constexpr DWORD kSigningIpsec = CRYPT_FLAG_SIGNING | CRYPT_FLAG_IPSEC;

struct Algorithm {
  ALG_ID id;
  std::string_view name;
  DWORD defaultBits;
  DWORD minBits;
  DWORD maxBits;
  DWORD protocols;
  std::string_view longName;
};

constexpr Algorithm kAlgorithms[] = {
    {CALG_MD2, "MD2", 128, 128, 128, kSigning, "Message Digest 2 (MD2)"},
    {CALG_MD4, "MD4", 128, 128, 128, kSigning, "Message Digest 4 (MD4)"},
    {CALG_MD5, "MD5", 128, 128, 128, kSigning, "Message Digest 5 (MD5)"},
    {CALG_SHA1, "SHA", 160, 160, 160, kSigning, "Secure Hash Algorithm (SHA)"},
    {CALG_SHA_256, "SHA-256", 256, 256, 256, kSigning, "Secure Hash Algorithm 256 (SHA-256)"},
    {CALG_SHA_384, "SHA-384", 384, 384, 384, kSigning, "Secure Hash Algorithm 384 (SHA-384)"},
    {CALG_SHA_512, "SHA-512", 512, 512, 512, kSigning, "Secure Hash Algorithm 512 (SHA-512)"},
    {CALG_SSL3_SHAMD5, "SSL3 SHAMD5", 288, 288, 288, 0, "Concatenation of MD5 and SHA"},
    {CALG_MAC, "MAC", 0, 0, 0, 0, "Message Authentication Code (MAC)"},
    {CALG_HMAC, "HMAC", 0, 0, 0, 0, "Hugo's MAC (HMAC)"},
    {CALG_RSA_SIGN, "RSA_SIGN", 1024, 384, 16384, kSigningIpsec, "RSA Signature"},
    {CALG_RSA_KEYX, "RSA_KEYX", 1024, 384, 16384, kSigningIpsec, "RSA Key Exchange"},
    {CALG_RC2, "RC2", 128, 40, 128, 0, "RSA Data Security's RC2"},
    {CALG_RC4, "RC4", 128, 40, 128, 0, "RSA Data Security's RC4"},
    {CALG_DES, "DES", 56, 56, 56, 0, "Data Encryption Standard (DES)"},
    {CALG_3DES_112, "3DES TWO KEY", 112, 112, 112, 0, "Two Key Triple DES"},
    {CALG_3DES, "3DES", 168, 168, 168, 0, "Three Key Triple DES"},
    {CALG_AES_128, "AES 128", 128, 128, 128, 0, "Advanced Encryption Standard 128-bit"},
    {CALG_AES_192, "AES 192", 192, 192, 192, 0, "Advanced Encryption Standard 192-bit"},
    {CALG_AES_256, "AES 256", 256, 256, 256, 0, "Advanced Encryption Standard 256-bit"},
};
static_assert(std::size(kAlgorithms) == kAlgorithmCount);

// Copies a name into its zero-padded field and gives its length with the
// terminating zero.
template <std::size_t N>
constexpr DWORD PutName(char (&field)[N], std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) field[i] = i < name.size() ? name[i] : '\0';
  return static_cast<DWORD>(name.size() + 1);
}

constexpr bool NamesFit() {
  for (const Algorithm& a : kAlgorithms)
    if (a.name.size() >= sizeof(PROV_ENUMALGS::szName) || a.longName.size() >= sizeof(PROV_ENUMALGS_EX::szLongName))
      return false;
  return true;
}
static_assert(NamesFit(), "every name leaves room for its terminating zero");

constexpr std::array<PROV_ENUMALGS, kAlgorithmCount> ShortRecords() {
  std::array<PROV_ENUMALGS, kAlgorithmCount> records{};
  for (std::size_t i = 0; i < kAlgorithmCount; ++i) {
    const Algorithm& a = kAlgorithms[i];
    PROV_ENUMALGS& r = records[i];
    r.aiAlgid = a.id;
    r.dwBitLen = a.defaultBits;
    r.dwNameLen = PutName(r.szName, a.name);
  }
  return records;
}

constexpr std::array<PROV_ENUMALGS_EX, kAlgorithmCount> ExtendedRecords() {
  std::array<PROV_ENUMALGS_EX, kAlgorithmCount> records{};
  for (std::size_t i = 0; i < kAlgorithmCount; ++i) {
    const Algorithm& a = kAlgorithms[i];
    PROV_ENUMALGS_EX& r = records[i];
    r.aiAlgid = a.id;
    r.dwDefaultLen = a.defaultBits;
    r.dwMinLen = a.minBits;
    r.dwMaxLen = a.maxBits;
    r.dwProtocols = a.protocols;
    r.dwNameLen = PutName(r.szName, a.name);
    r.dwLongNameLen = PutName(r.szLongName, a.longName);
  }
  return records;
}

constinit const std::array<PROV_ENUMALGS, kAlgorithmCount> kShortRecords = ShortRecords();
constinit const std::array<PROV_ENUMALGS_EX, kAlgorithmCount> kExtendedRecords = ExtendedRecords();

template <typename Record>
std::span<const BYTE> BytesOf(const Record& record) {
  return {reinterpret_cast<const BYTE*>(&record), sizeof record};
}

}  // namespace

std::span<const BYTE> AlgorithmRecord(AlgorithmForm form, std::size_t index) {
  return form == AlgorithmForm::Short ? BytesOf(kShortRecords[index]) : BytesOf(kExtendedRecords[index]);
}

}  // namespace tv::csp

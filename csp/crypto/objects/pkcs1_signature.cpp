// Signature blocks: built once when signing, and built again for each
// accepted form when verifying, so that verification compares whole blocks
// instead of parsing what an attacker wrote.
#include <algorithm>
#include <cstring>

#include "csp/crypto/cpu/wipe.h"
#include "csp/crypto/objects/pkcs1.h"

namespace tv::csp {
namespace {

struct DigestInfo {
  ALG_ID algorithm;
  std::uint8_t length;
  std::uint8_t header[19];
};

constexpr DigestInfo kDigestInfos[] = {
    {CALG_MD2, 18, {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x02, 0x05, 0x00,
                    0x04, 0x10}},
    {CALG_MD4, 18, {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x04, 0x05, 0x00,
                    0x04, 0x10}},
    {CALG_MD5, 18, {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00,
                    0x04, 0x10}},
    {CALG_SHA1, 15, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14}},
    {CALG_SHA_256, 19, {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01,
                        0x05, 0x00, 0x04, 0x20}},
    {CALG_SHA_384, 19, {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02,
                        0x05, 0x00, 0x04, 0x30}},
    {CALG_SHA_512, 19, {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03,
                        0x05, 0x00, 0x04, 0x40}},
};

// The block's fixed bytes: 00 01 before the FF run and 00 after it.
constexpr std::size_t kFramingBytes = 3;

bool MatchesForm(std::span<const std::uint8_t> block, std::span<const std::uint8_t> header,
                 std::span<const std::uint8_t> hash, crypto::WipingBuffer& expected) {
  const std::span<std::uint8_t> built(expected.Data(), expected.Size());
  return EncodeSignatureBlock(header, hash, built) && std::equal(block.begin(), block.end(), built.begin());
}

}  // namespace

std::span<const std::uint8_t> DigestInfoHeader(ALG_ID hashAlgorithm) {
  for (const DigestInfo& info : kDigestInfos)
    if (info.algorithm == hashAlgorithm) return {info.header, info.length};
  return {};
}

bool EncodeSignatureBlock(std::span<const std::uint8_t> header, std::span<const std::uint8_t> hash,
                          std::span<std::uint8_t> block) {
  const std::size_t content = header.size() + hash.size();
  if (block.size() < kFramingBytes + kMinBlockPadding + content) return false;
  const std::size_t padding = block.size() - kFramingBytes - content;
  block[0] = 0x00;
  block[1] = 0x01;
  std::memset(block.data() + 2, 0xFF, padding);
  block[2 + padding] = 0x00;
  std::copy(header.begin(), header.end(), block.begin() + kFramingBytes + padding);
  std::copy(hash.begin(), hash.end(), block.end() - hash.size());
  return true;
}

bool IsSignatureBlock(std::span<const std::uint8_t> block, ALG_ID hashAlgorithm,
                      std::span<const std::uint8_t> hash, bool bareOnly) {
  crypto::WipingBuffer expected(block.size());
  if (expected.Size() != block.size()) return false;
  if (MatchesForm(block, {}, hash, expected)) return true;
  const std::span<const std::uint8_t> header = DigestInfoHeader(hashAlgorithm);
  return !bareOnly && !header.empty() && MatchesForm(block, header, hash, expected);
}

}  // namespace tv::csp

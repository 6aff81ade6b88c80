// CBC-MAC through a session key's block cipher: the data, zero-padded to
// whole blocks, is encrypted in CBC mode from a zero feedback register, and
// the last cipher block is the MAC. The chaining runs in the key's own
// cipher state, so a MAC and an encryption with the same key at the same
// time disturb each other.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "csp/crypto/objects/key_object.h"

namespace tv::csp {

class CbcMac {
 public:
  // Sets the key up again from its own bytes without its IV, so that its
  // feedback register starts at zero, and starts a MAC over it. Null with
  // NTE_BAD_KEY for a stream-cipher key or one its cipher refuses,
  // NTE_NO_MEMORY.
  static std::unique_ptr<CbcMac> Start(KeyObject& key);
  ~CbcMac();
  CbcMac(const CbcMac&) = delete;
  CbcMac& operator=(const CbcMac&) = delete;

  KeyObject* Key() const { return key_; }
  std::uint32_t BlockLength() const { return blockLength_; }

  // Adds data; every block completed is encrypted and written to `value`
  // (BlockLength bytes), the MAC so far.
  bool Update(std::span<const std::uint8_t> data, std::uint8_t* value);
  // Encrypts the buffered bytes padded with zeros into `value`. A MAC over
  // no data at all is the encryption of one zero block: zero padding of an
  // empty message to a whole block, never a key-independent value.
  bool Final(std::uint8_t* value);

 private:
  static constexpr std::size_t kMaxBlock = 32;

  CbcMac(KeyObject& key, std::uint32_t blockLength) : key_(&key), blockLength_(blockLength) {}
  // The key still is the block-cipher session key this MAC started with.
  bool KeyFits() const;
  bool EncryptBlock(std::uint8_t* value);

  KeyObject* key_;  // not owned
  std::uint32_t blockLength_;
  std::uint32_t buffered_ = 0;  // bytes in block_, below blockLength_
  bool anyBlock_ = false;       // a block has been encrypted
  std::uint8_t block_[kMaxBlock] = {};
};

}  // namespace tv::csp

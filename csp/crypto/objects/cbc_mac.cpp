#include "csp/crypto/objects/cbc_mac.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "csp/crypto/cpu/wipe.h"

namespace tv::csp {
namespace {

bool Refuse(DWORD error) {
  SetLastError(error);
  return false;
}

}  // namespace

std::unique_ptr<CbcMac> CbcMac::Start(KeyObject& key) {
  SessionKey& session = key.session;
  if (!key.IsSession() || session.IsStream() || session.blockLength > kMaxBlock) {
    SetLastError(NTE_BAD_KEY);
    return nullptr;
  }
  if (!session.Setup(false)) return nullptr;
  std::unique_ptr<CbcMac> mac(new (std::nothrow) CbcMac(key, session.blockLength));
  if (!mac) SetLastError(NTE_NO_MEMORY);
  return mac;
}

CbcMac::~CbcMac() { crypto::SecureWipe(block_, sizeof block_); }

bool CbcMac::KeyFits() const { return key_->IsSession() && key_->session.blockLength == blockLength_; }

bool CbcMac::EncryptBlock(std::uint8_t* value) {
  if (!key_->session.Encrypt(block_, blockLength_, crypto::CipherMode::Cbc)) return Refuse(NTE_BAD_KEY);
  memcpy(value, block_, blockLength_);
  crypto::SecureWipe(block_, sizeof block_);
  buffered_ = 0;
  anyBlock_ = true;
  return true;
}

bool CbcMac::Update(std::span<const std::uint8_t> data, std::uint8_t* value) {
  if (!KeyFits()) return Refuse(NTE_BAD_KEY);
  while (!data.empty()) {
    const std::size_t take = std::min<std::size_t>(blockLength_ - buffered_, data.size());
    memcpy(block_ + buffered_, data.data(), take);
    buffered_ += static_cast<std::uint32_t>(take);
    data = data.subspan(take);
    if (buffered_ == blockLength_ && !EncryptBlock(value)) return false;
  }
  return true;
}

bool CbcMac::Final(std::uint8_t* value) {
  if (!KeyFits()) return Refuse(NTE_BAD_KEY);
  if (buffered_ == 0 && anyBlock_) return true;  // value holds the last cipher block
  return EncryptBlock(value);                     // block_ beyond buffered_ is zero
}

}  // namespace tv::csp

// The RSA public operation.
#include "bignum/montgomery.h"
#include "rsa/rsa.h"
#include "rsa/rsa_result.h"

namespace tv::crypto {

bool RsaPublic(const RsaKey& key, std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output, std::size_t& outputLength, Arithmetic& ar) {
  ar.Reset();
  BigNum message;
  BigNum result;
  Montgomery modN;
  return message.SetBytes(input, ar) && modN.Init(key.n, ar) &&
         ModPowPublic(result, message, key.e, modN, ar) &&
         WriteRsaResult(result, output, outputLength, ar);
}

}  // namespace tv::crypto

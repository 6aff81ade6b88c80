// The RSA private operation: blinded, CRT first, d as the fallback, and
// checked with e before the result leaves.
#include "bignum/montgomery.h"
#include "rsa/rsa.h"
#include "rsa/rsa_result.h"

namespace tv::crypto {
namespace {

// r^e mod n and r^-1 mod n for a fresh random r.
struct Blinding {
  BigNum factor;
  BigNum inverse;
};

bool MakeBlinding(Blinding& blinding, const RsaKey& key, const Montgomery& modN,
                  RandomSource& random, Arithmetic& ar) {
  // A product sharing a factor with n has no inverse; with a real modulus
  // that means finding a factor, so only a malformed n fails every draw.
  constexpr int kMaxDraws = 16;
  for (int draw = 0; draw < kMaxDraws; ++draw) {
    BigNum r;
    BigNum mask;
    BigNum masked;
    BigNum maskedInverse;
    if (!RandomBelow(r, key.n, random, ar) || !RandomBelow(mask, key.n, random, ar) ||
        !ModMul(masked, r, mask, modN, ar)) {
      return false;
    }
    if (masked.IsZero()) continue;
    // r^-1 = (r·mask)^-1 · mask: the inversion, whose time follows its
    // input, sees r only masked.
    Arithmetic inversion;  // a missing inverse only means another draw
    if (ModInverse(maskedInverse, masked, key.n, inversion)) {
      return ModMul(blinding.inverse, maskedInverse, mask, modN, ar) &&
             ModPowPublic(blinding.factor, r, key.e, modN, ar);
    }
    if (inversion.error() != ArithmeticError::NoInverse) return ar.Fail(inversion.error());
  }
  return ar.Fail(ArithmeticError::InvalidKey);
}

// Whether the CRT numbers have the shape the CRT computation relies on:
// odd p and q above 1 whose product is n, and dp, dq, qinv below their
// moduli. Their values are judged by the check on the result.
bool CrtUsable(const RsaKey& key, Arithmetic& ar) {
  if (!key.p.IsOdd() || !key.q.IsOdd() || key.p.IsWord(1) || key.q.IsWord(1) ||
      Compare(key.dp, key.p) >= 0 || Compare(key.dq, key.q) >= 0 ||
      Compare(key.qinv, key.p) >= 0) {
    return false;
  }
  BigNum product;
  return Mul(product, key.p, key.q, ar) && Compare(product, key.n) == 0;
}

// s = c^d mod n from c^dp mod p and c^dq mod q (Garner's recombination).
bool PowerWithCrt(BigNum& s, const BigNum& c, const RsaKey& key, const Montgomery&,
                  Arithmetic& ar) {
  Montgomery modP;
  Montgomery modQ;
  BigNum mp;
  BigNum mq;
  BigNum h;
  return CrtUsable(key, ar) && modP.Init(key.p, ar) && modQ.Init(key.q, ar) &&
         ModPowSecretPair(mp, mq, c, key.dp, key.dq, modP, modQ, ar) &&
         ModSub(h, mp, mq, modP, ar) && ModMul(h, h, key.qinv, modP, ar) &&
         Mul(h, h, key.q, ar) && Add(s, h, mq, ar);
}

bool PowerWithD(BigNum& s, const BigNum& c, const RsaKey& key, const Montgomery& modN,
                Arithmetic& ar) {
  return ModPowSecret(s, c, key.d, modN, ar);
}

using Power = bool (*)(BigNum& s, const BigNum& c, const RsaKey& key, const Montgomery& modN,
                       Arithmetic& ar);

// s = power(blinded)·r^-1 mod n, accepted only when s^e mod n = expected.
bool PowerChecked(BigNum& s, Power power, const BigNum& blinded, const BigNum& expected,
                  const Blinding& blinding, const RsaKey& key, const Montgomery& modN,
                  Arithmetic& ar) {
  BigNum raw;
  BigNum check;
  return power(raw, blinded, key, modN, ar) && ModMul(s, raw, blinding.inverse, modN, ar) &&
         ModPowPublic(check, s, key.e, modN, ar) && Compare(check, expected) == 0;
}

}  // namespace

bool RsaPrivate(const RsaKey& key, std::span<const std::uint8_t> input,
                std::span<std::uint8_t> output, std::size_t& outputLength, Arithmetic& ar,
                RandomSource& random) {
  ar.Reset();
  BigNum message;
  BigNum expected;  // message mod n
  BigNum blinded;
  Montgomery modN;
  Blinding blinding;
  if (!message.SetBytes(input, ar) || !modN.Init(key.n, ar) ||
      !ModReduce(expected, message, modN, ar) ||
      !MakeBlinding(blinding, key, modN, random, ar) ||
      !ModMul(blinded, message, blinding.factor, modN, ar)) {
    return false;
  }
  BigNum result;
  const bool checked =
      PowerChecked(result, PowerWithCrt, blinded, expected, blinding, key, modN, ar) ||
      PowerChecked(result, PowerWithD, blinded, expected, blinding, key, modN, ar);
  if (!ar.ok()) return false;
  if (!checked) return ar.Fail(ArithmeticError::InvalidKey);
  return WriteRsaResult(result, output, outputLength, ar);
}

}  // namespace tv::crypto

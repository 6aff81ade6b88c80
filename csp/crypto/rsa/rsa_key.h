// The numbers of an RSA key, in the order in which key records and blobs
// carry them.
//
// Byte order: these numbers cross to and from byte strings most significant
// byte first (BigNum::SetBytes / BigNum::ToBytes). CryptoAPI blobs, stored
// key records and signatures are least significant byte first; their codecs
// reverse each field at this boundary and zero-fill fixed-width fields
// themselves.
#pragma once
#include "bignum/bignum.h"

namespace tv::crypto {

// A public-only key fills n and e and leaves the others zero. Every number
// is wiped when the key is destroyed.
struct RsaKey {
  BigNum n;     // modulus
  BigNum e;     // public exponent
  BigNum d;     // private exponent
  BigNum p;     // first prime (prime1)
  BigNum q;     // second prime (prime2)
  BigNum dp;    // d mod (p - 1) (exponent1)
  BigNum dq;    // d mod (q - 1) (exponent2)
  BigNum qinv;  // q^-1 mod p (coefficient)
};

}  // namespace tv::crypto

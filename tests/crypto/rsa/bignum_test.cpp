// The multiprecision module against libgcrypt on random and edge-shaped
// operands of many sizes, plus its conversions and error reporting.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "bignum/bignum.h"
#include "bignum/montgomery.h"
#include "bignum/prime.h"
#include "code_path.h"
#include "reference.h"

namespace {

using tv::crypto::Arithmetic;
using tv::crypto::ArithmeticError;
using tv::crypto::BigNum;
using tv::crypto::Montgomery;
using tvtest::Bytes;
using tvtest::FromBytes;
using tvtest::Mpi;

// Around byte and limb boundaries (32- and 64-bit), RSA sizes, the limit.
constexpr std::size_t kSizes[] = {1,   7,   8,    9,    31,   32,   33,   63,   64,
                                  65,  127, 128,  129,  255,  256,  257,  1023, 1024,
                                  1025, 2047, 2048, 4096, 8192, 16383, 16384};
constexpr std::size_t kModulusSizes[] = {2, 3, 63, 64, 65, 127, 128, 129, 512, 1024, 1025, 2048, 4096};

std::string Hex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size() && i < 48; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  if (bytes.size() > 48) out += "...(" + std::to_string(bytes.size()) + " bytes)";
  return out.empty() ? "0" : out;
}

class BigNumVsGcrypt : public ::testing::Test {
 protected:
  void SetUp() override { tvtest::InitGcrypt(); }

  static void ExpectSame(const BigNum& ours, const Mpi& reference, const std::string& what) {
    const Bytes a = tvtest::ToBytes(ours);
    const Bytes b = reference.ToBytes();
    EXPECT_TRUE(a == b) << what << "\n ours: " << Hex(a) << "\n gcry: " << Hex(b);
  }

  static std::string Describe(const char* op, const Bytes& a, const Bytes& b) {
    return std::string(op) + " a=" + Hex(a) + " b=" + Hex(b);
  }

  tvtest::OperandSource operands_{0x5EEDB16Eull};
  Arithmetic ar_;
};

TEST(BigNumBytes, ConvertsMostSignificantFirstWithoutLeadingZeros) {
  const struct {
    Bytes input;
    Bytes minimal;
  } cases[] = {
      {{}, {}},
      {{0x00}, {}},
      {{0x00, 0x00, 0x01}, {0x01}},
      {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09},
       {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}},
      {{0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
       {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const auto& c : cases) {
    Arithmetic ar;
    BigNum number;
    ASSERT_TRUE(number.SetBytes(c.input, ar));
    EXPECT_EQ(tvtest::ToBytes(number), c.minimal) << Hex(c.input);
    EXPECT_EQ(number.ByteLength(), c.minimal.size());
  }
}

TEST(BigNumBytes, WritesFixedWidthZeroFilledAndRefusesShortOutput) {
  const BigNum number = FromBytes(Bytes{0x12, 0x34, 0x56});
  Bytes wide(6, 0xEE);
  ASSERT_TRUE(number.ToBytes(wide));
  EXPECT_EQ(wide, (Bytes{0, 0, 0, 0x12, 0x34, 0x56}));
  Bytes narrow(2, 0xEE);
  EXPECT_FALSE(number.ToBytes(narrow));
  EXPECT_EQ(narrow, (Bytes{0xEE, 0xEE}));
}

TEST(BigNumBytes, AcceptsUpTo16384BitsAndRefusesMore) {
  Arithmetic ar;
  BigNum number;
  Bytes largest(2048, 0xFF);
  ASSERT_TRUE(number.SetBytes(largest, ar));
  EXPECT_EQ(number.BitLength(), 16384u);

  Bytes paddedLargest(2049, 0xFF);
  paddedLargest[0] = 0;
  EXPECT_TRUE(number.SetBytes(paddedLargest, ar));

  Bytes tooLarge(2049, 0);
  tooLarge[0] = 1;
  EXPECT_FALSE(number.SetBytes(tooLarge, ar));
  EXPECT_EQ(ar.error(), ArithmeticError::TooLarge);
  EXPECT_EQ(number.BitLength(), 16384u) << "a refused input leaves the number as it was";
}

TEST_F(BigNumVsGcrypt, AddSubtractMultiply) {
  for (const bool edgy : {false, true}) {
    for (const std::size_t aBits : kSizes) {
      for (const std::size_t bBits : kSizes) {
        const Bytes a = operands_.Number(aBits, edgy);
        const Bytes b = operands_.Number(bBits, edgy);
        const BigNum x = FromBytes(a);
        const BigNum y = FromBytes(b);
        const Mpi ma(a);
        const Mpi mb(b);
        BigNum r;
        Mpi expected;

        ASSERT_TRUE(tv::crypto::Add(r, x, y, ar_));
        gcry_mpi_add(expected.get(), ma.get(), mb.get());
        ExpectSame(r, expected, Describe("add", a, b));

        ASSERT_TRUE(tv::crypto::Mul(r, x, y, ar_));
        gcry_mpi_mul(expected.get(), ma.get(), mb.get());
        ExpectSame(r, expected, Describe("mul", a, b));

        const bool aLarger = gcry_mpi_cmp(ma.get(), mb.get()) >= 0;
        ASSERT_TRUE(tv::crypto::Sub(r, aLarger ? x : y, aLarger ? y : x, ar_));
        gcry_mpi_sub(expected.get(), aLarger ? ma.get() : mb.get(), aLarger ? mb.get() : ma.get());
        ExpectSame(r, expected, Describe("sub", a, b));
      }
    }
  }
}

TEST_F(BigNumVsGcrypt, SubtractionBelowZeroFails) {
  const BigNum small = FromBytes(operands_.Number(64));
  const BigNum large = FromBytes(operands_.Number(65));
  BigNum r;
  EXPECT_FALSE(tv::crypto::Sub(r, small, large, ar_));
  EXPECT_EQ(ar_.error(), ArithmeticError::NegativeResult);
  ar_.Reset();
  EXPECT_FALSE(tv::crypto::SubWord(r, BigNum{}, 1, ar_));
  EXPECT_EQ(ar_.error(), ArithmeticError::NegativeResult);
}

TEST_F(BigNumVsGcrypt, WordAdditionAndSubtractionCarryAcrossLimbs) {
  const Bytes allOnes(64, 0xFF);
  const BigNum x = FromBytes(allOnes);
  BigNum r;
  ASSERT_TRUE(tv::crypto::AddWord(r, x, 1, ar_));
  EXPECT_EQ(r.BitLength(), 513u);
  ASSERT_TRUE(tv::crypto::SubWord(r, r, 1, ar_));
  EXPECT_EQ(tvtest::ToBytes(r), allOnes);
}

TEST_F(BigNumVsGcrypt, DivideWithRemainder) {
  for (const bool edgy : {false, true}) {
    for (const std::size_t aBits : kSizes) {
      for (const std::size_t bBits : kSizes) {
        const Bytes a = operands_.Number(aBits, edgy);
        const Bytes b = operands_.Number(bBits, edgy);
        BigNum q;
        BigNum r;
        ASSERT_TRUE(tv::crypto::DivMod(&q, &r, FromBytes(a), FromBytes(b), ar_));
        Mpi mq;
        Mpi mr;
        gcry_mpi_div(mq.get(), mr.get(), Mpi(a).get(), Mpi(b).get(), 0);
        ExpectSame(q, mq, Describe("quotient", a, b));
        ExpectSame(r, mr, Describe("remainder", a, b));
      }
    }
  }
}

// Concatenates words, most significant first, each written big-endian in
// `wordBytes` bytes.
Bytes FromWords(std::initializer_list<std::uint64_t> words, unsigned wordBytes) {
  Bytes out;
  for (const std::uint64_t word : words) {
    for (unsigned b = wordBytes; b-- > 0;) out.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
  }
  return out;
}

// Quotient digits whose first estimate is too large even after the
// two-limb correction, so that the divisor must be added back: the classic
// case (B/2 - 1, B/2, 0, 0) / (B/2, 0, 1) in base B, for 32- and 64-bit limbs.
TEST_F(BigNumVsGcrypt, DivideAddsTheDivisorBackAfterAnOverestimate) {
  for (const unsigned wordBytes : {4u, 8u}) {
    const std::uint64_t half = 1ull << (8 * wordBytes - 1);
    const Bytes a = FromWords({half - 1, half, 0, 0}, wordBytes);
    const Bytes b = FromWords({half, 0, 1}, wordBytes);
    BigNum q;
    BigNum r;
    ASSERT_TRUE(tv::crypto::DivMod(&q, &r, FromBytes(a), FromBytes(b), ar_));
    Mpi mq;
    Mpi mr;
    gcry_mpi_div(mq.get(), mr.get(), Mpi(a).get(), Mpi(b).get(), 0);
    ExpectSame(q, mq, Describe("quotient", a, b));
    ExpectSame(r, mr, Describe("remainder", a, b));
  }
}

TEST_F(BigNumVsGcrypt, ResultsMayAliasOperands) {
  const Bytes a = operands_.Number(1000, true);
  const Bytes b = operands_.Number(300, true);
  BigNum x = FromBytes(a);
  BigNum y = FromBytes(b);
  ASSERT_TRUE(tv::crypto::Mul(x, x, x, ar_));
  ASSERT_TRUE(tv::crypto::Add(x, x, y, ar_));
  ASSERT_TRUE(tv::crypto::DivMod(&x, &y, x, y, ar_));
  Mpi mx(a);
  Mpi my(b);
  gcry_mpi_mul(mx.get(), mx.get(), mx.get());
  gcry_mpi_add(mx.get(), mx.get(), my.get());
  gcry_mpi_div(mx.get(), my.get(), mx.get(), my.get(), 0);
  ExpectSame(x, mx, "aliased quotient");
  ExpectSame(y, my, "aliased remainder");
}

TEST_F(BigNumVsGcrypt, ShiftRight) {
  for (const std::size_t bits : kSizes) {
    const Bytes a = operands_.Number(bits, true);
    for (const std::size_t shift : {std::size_t{0}, std::size_t{1}, std::size_t{31},
                                    std::size_t{32}, std::size_t{63}, std::size_t{64},
                                    std::size_t{65}, bits - 1, bits, bits + 64}) {
      BigNum r;
      ASSERT_TRUE(tv::crypto::ShiftRight(r, FromBytes(a), shift, ar_));
      Mpi expected;
      gcry_mpi_rshift(expected.get(), Mpi(a).get(), static_cast<unsigned>(shift));
      ExpectSame(r, expected, Describe("shift", a, {}) + " by " + std::to_string(shift));
    }
  }
}

TEST_F(BigNumVsGcrypt, RemainderBySmallWord) {
  for (const std::size_t bits : kSizes) {
    const Bytes a = operands_.Number(bits, true);
    for (const std::uint32_t m : {1u, 2u, 3u, 65537u, 0xFFFFFFFBu, 0xFFFFFFFFu}) {
      Mpi expected;
      gcry_mpi_mod(expected.get(), Mpi(a).get(), Mpi(m).get());
      BigNum ours;
      ASSERT_TRUE(ours.SetWord(tv::crypto::ModWord(FromBytes(a), m), ar_));
      ExpectSame(ours, expected, Describe("mod word", a, {}) + " by " + std::to_string(m));
    }
  }
}

TEST_F(BigNumVsGcrypt, GcdAndModularInverse) {
  for (const std::size_t mBits : kModulusSizes) {
    for (const std::size_t aBits : {std::size_t{1}, std::size_t{64}, mBits - 1, mBits, mBits + 70}) {
      const Bytes m = operands_.Number(mBits);
      const Bytes a = operands_.Number(aBits);
      BigNum gcd;
      ASSERT_TRUE(tv::crypto::Gcd(gcd, FromBytes(a), FromBytes(m), ar_));
      Mpi expectedGcd;
      gcry_mpi_gcd(expectedGcd.get(), Mpi(a).get(), Mpi(m).get());
      ExpectSame(gcd, expectedGcd, Describe("gcd", a, m));

      BigNum inverse;
      Arithmetic ar;
      Mpi expectedInverse;
      const bool invertible = gcry_mpi_invm(expectedInverse.get(), Mpi(a).get(), Mpi(m).get());
      EXPECT_EQ(tv::crypto::ModInverse(inverse, FromBytes(a), FromBytes(m), ar), invertible)
          << Describe("inverse", a, m);
      if (invertible) {
        ExpectSame(inverse, expectedInverse, Describe("inverse", a, m));
      } else {
        EXPECT_EQ(ar.error(), ArithmeticError::NoInverse);
      }
    }
  }
}

// The odd-modulus inverse decides 31 steps at a time on approximations;
// many random and edge-shaped cases check it, including operands that
// share a factor with the modulus.
TEST_F(BigNumVsGcrypt, ModularInverseOfOddModuliAgreesOnManyOperands) {
  for (int i = 0; i < 400; ++i) {
    const std::size_t mBits = 2 + operands_.Next() % 2500;
    const bool edgy = i % 2 == 1;
    Bytes m = operands_.OddNumber(mBits, edgy);
    Bytes a = operands_.Number(1 + operands_.Next() % (mBits + 40), edgy);
    if (i % 5 == 0) {  // operands that share the factor 3
      Mpi tripled;
      gcry_mpi_mul_ui(tripled.get(), Mpi(m).get(), 3);
      m = tripled.ToBytes();
      gcry_mpi_mul_ui(tripled.get(), Mpi(a).get(), 3);
      a = tripled.ToBytes();
    }
    Arithmetic ar;
    BigNum inverse;
    Mpi expected;
    const bool invertible = gcry_mpi_invm(expected.get(), Mpi(a).get(), Mpi(m).get());
    ASSERT_EQ(tv::crypto::ModInverse(inverse, FromBytes(a), FromBytes(m), ar), invertible)
        << Describe("inverse", a, m);
    if (invertible) ExpectSame(inverse, expected, Describe("inverse", a, m));
  }
}

// The exponentiations and what is built on them, on the accelerated and on
// the portable code.
class ExponentiationVsGcrypt : public BigNumVsGcrypt,
                               public ::testing::WithParamInterface<tvtest::CodePath> {
 protected:
  tvtest::CodePathScope path_{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(CodePaths, ExponentiationVsGcrypt,
                         ::testing::Values(tvtest::CodePath::Accelerated, tvtest::CodePath::Portable),
                         [](const auto& info) { return tvtest::CodePathName(info.param); });

TEST_P(ExponentiationVsGcrypt, SecretAndPublic) {
  for (const std::size_t mBits : kModulusSizes) {
    const Bytes m = operands_.OddNumber(mBits, mBits % 2 == 0);
    Montgomery mont;
    ASSERT_TRUE(mont.Init(FromBytes(m), ar_));
    for (const std::size_t eBits : {std::size_t{0}, std::size_t{1}, std::size_t{2},
                                    std::size_t{17}, std::size_t{64}, std::size_t{65}, mBits}) {
      for (const std::size_t baseBits : {std::size_t{0}, std::size_t{1}, mBits, 2 * mBits + 5}) {
        const Bytes base = operands_.Number(baseBits, true);
        const Bytes exponent = operands_.Number(eBits, true);
        Mpi expected;
        gcry_mpi_powm(expected.get(), Mpi(base).get(), Mpi(exponent).get(), Mpi(m).get());
        const std::string what = Describe("powm", base, exponent) + " m=" + Hex(m);
        BigNum r;
        ASSERT_TRUE(tv::crypto::ModPowSecret(r, FromBytes(base), FromBytes(exponent), mont, ar_));
        ExpectSame(r, expected, "secret " + what);
        ASSERT_TRUE(tv::crypto::ModPowPublic(r, FromBytes(base), FromBytes(exponent), mont, ar_));
        ExpectSame(r, expected, "public " + what);
      }
    }
  }
}

// The pair of the RSA private operation: moduli of equal and of different
// sizes (those the accelerated code interleaves and those it cannot),
// exponents of different lengths, bases above both moduli.
TEST_P(ExponentiationVsGcrypt, PairEqualsTwoSingleExponentiations) {
  const struct {
    std::size_t pBits, qBits, epBits, eqBits;
  } cases[] = {{512, 512, 512, 511},  {1024, 1024, 1024, 960}, {1024, 1020, 1024, 1020},
               {2048, 2048, 2048, 2048}, {1024, 2048, 1024, 2048}, {64, 65, 0, 65},
               {127, 128, 1, 64}};
  for (const auto& c : cases) {
    const Bytes p = operands_.OddNumber(c.pBits, true);
    const Bytes q = operands_.OddNumber(c.qBits, true);
    const Bytes base = operands_.Number(c.pBits + c.qBits + 3, true);
    const Bytes ep = operands_.Number(c.epBits, true);
    const Bytes eq = operands_.Number(c.eqBits, true);
    Montgomery modP;
    Montgomery modQ;
    ASSERT_TRUE(modP.Init(FromBytes(p), ar_) && modQ.Init(FromBytes(q), ar_));
    BigNum rp;
    BigNum rq;
    ASSERT_TRUE(tv::crypto::ModPowSecretPair(rp, rq, FromBytes(base), FromBytes(ep),
                                             FromBytes(eq), modP, modQ, ar_));
    Mpi expectedP;
    Mpi expectedQ;
    gcry_mpi_powm(expectedP.get(), Mpi(base).get(), Mpi(ep).get(), Mpi(p).get());
    gcry_mpi_powm(expectedQ.get(), Mpi(base).get(), Mpi(eq).get(), Mpi(q).get());
    ExpectSame(rp, expectedP, "p part " + Describe("powm", base, ep) + " p=" + Hex(p));
    ExpectSame(rq, expectedQ, "q part " + Describe("powm", base, eq) + " q=" + Hex(q));
  }
}

TEST_P(ExponentiationVsGcrypt, AtTheLargestModulus) {
  const Bytes m = operands_.OddNumber(16384);
  const Bytes base = operands_.Number(16384);
  const Bytes exponent = operands_.Number(16384);
  Montgomery mont;
  ASSERT_TRUE(mont.Init(FromBytes(m), ar_));
  BigNum r;
  ASSERT_TRUE(tv::crypto::ModPowSecret(r, FromBytes(base), FromBytes(exponent), mont, ar_));
  Mpi expected;
  gcry_mpi_powm(expected.get(), Mpi(base).get(), Mpi(exponent).get(), Mpi(m).get());
  ExpectSame(r, expected, "16384-bit powm");
}

TEST_P(ExponentiationVsGcrypt, ModuloOneIsAlwaysZero) {
  Montgomery mont;
  BigNum one;
  ASSERT_TRUE(one.SetWord(1, ar_));
  ASSERT_TRUE(mont.Init(one, ar_));
  const BigNum base = FromBytes(operands_.Number(300));
  BigNum r;
  ASSERT_TRUE(tv::crypto::ModPowSecret(r, base, BigNum{}, mont, ar_));
  EXPECT_TRUE(r.IsZero());
  ASSERT_TRUE(tv::crypto::ModMul(r, base, base, mont, ar_));
  EXPECT_TRUE(r.IsZero());
}

TEST_F(BigNumVsGcrypt, ModularMultiplySubtractReduce) {
  for (const std::size_t mBits : kModulusSizes) {
    const Bytes m = operands_.OddNumber(mBits, true);
    Montgomery mont;
    ASSERT_TRUE(mont.Init(FromBytes(m), ar_));
    for (const std::size_t aBits : {std::size_t{0}, mBits - 1, 2 * mBits + 64}) {
      for (const std::size_t bBits : {std::size_t{1}, mBits, 3 * mBits}) {
        const Bytes a = operands_.Number(aBits, true);
        const Bytes b = operands_.Number(bBits, true);
        const std::string what = Describe("mod", a, b) + " m=" + Hex(m);
        Mpi expected;
        BigNum r;

        ASSERT_TRUE(tv::crypto::ModMul(r, FromBytes(a), FromBytes(b), mont, ar_));
        gcry_mpi_mulm(expected.get(), Mpi(a).get(), Mpi(b).get(), Mpi(m).get());
        ExpectSame(r, expected, "mulm " + what);

        ASSERT_TRUE(tv::crypto::ModSub(r, FromBytes(a), FromBytes(b), mont, ar_));
        Mpi aReduced;
        Mpi bReduced;
        gcry_mpi_mod(aReduced.get(), Mpi(a).get(), Mpi(m).get());
        gcry_mpi_mod(bReduced.get(), Mpi(b).get(), Mpi(m).get());
        gcry_mpi_subm(expected.get(), aReduced.get(), bReduced.get(), Mpi(m).get());
        ExpectSame(r, expected, "subm " + what);

        ASSERT_TRUE(tv::crypto::ModReduce(r, FromBytes(a), mont, ar_));
        ExpectSame(r, aReduced, "reduce " + what);
      }
    }
  }
}

TEST_P(ExponentiationVsGcrypt, PrimalityAgreesOnPrimesCompositesAndPseudoprimes) {
  tvtest::SeededRandom random(7);
  for (const unsigned bits : {64u, 65u, 128u, 257u, 512u, 1024u}) {
    gcry_mpi_t prime = nullptr;
    ASSERT_EQ(gcry_prime_generate(&prime, bits, 0, nullptr, nullptr, nullptr,
                                  GCRY_WEAK_RANDOM, 0),
              0u);
    unsigned char buffer[256];
    std::size_t length = 0;
    gcry_mpi_print(GCRYMPI_FMT_USG, buffer, sizeof(buffer), &length, prime);
    gcry_mpi_release(prime);
    const BigNum p = FromBytes({buffer, length});
    EXPECT_TRUE(tv::crypto::IsProbablePrime(p, 10, random, ar_)) << bits;
    BigNum square;
    ASSERT_TRUE(tv::crypto::Mul(square, p, p, ar_));
    EXPECT_FALSE(tv::crypto::IsProbablePrime(square, 10, random, ar_)) << bits;
  }
  // Random odd numbers: the verdicts of both libraries agree.
  for (int i = 0; i < 200; ++i) {
    const Bytes n = operands_.OddNumber(40 + i % 60);
    const bool expected = gcry_prime_check(Mpi(n).get(), 0) == 0;
    EXPECT_EQ(tv::crypto::IsProbablePrime(FromBytes(n), 20, random, ar_), expected) << Hex(n);
  }
  // Small numbers, Carmichael numbers and strong pseudoprimes to base 2.
  const struct {
    std::uint64_t n;
    bool prime;
  } cases[] = {{0, false},          {1, false},          {2, true},
               {3, true},           {4, false},          {9, false},
               {16381, true},       {16383, false},      {16411, true},
               {561, false},        {41041, false},      {825265, false},
               {2047, false},       {3215031751, false}, {4294967291, true},
               {18446744073709551557ull, true},          {3825123056546413051ull, false}};
  for (const auto& c : cases) {
    Bytes bytes(8);
    for (int b = 0; b < 8; ++b) bytes[7 - b] = static_cast<std::uint8_t>(c.n >> (8 * b));
    EXPECT_EQ(tv::crypto::IsProbablePrime(FromBytes(bytes), 20, random, ar_), c.prime) << c.n;
  }
  EXPECT_TRUE(ar_.ok());
}

TEST(BigNumErrors, AreRecordedInTheInstance) {
  Arithmetic setup;
  const BigNum zero;
  BigNum six;
  BigNum nine;
  ASSERT_TRUE(six.SetWord(6, setup));
  ASSERT_TRUE(nine.SetWord(9, setup));
  BigNum r;
  Montgomery mont;
  tvtest::SeededRandom random(1);
  tvtest::SeededRandom failing(1);
  failing.failing = true;
  const struct {
    const char* what;
    std::function<bool(Arithmetic&)> run;
    ArithmeticError error;
  } cases[] = {
      {"divide by zero", [&](Arithmetic& ar) { return tv::crypto::DivMod(&r, nullptr, nine, zero, ar); },
       ArithmeticError::DivisionByZero},
      {"no inverse", [&](Arithmetic& ar) { return tv::crypto::ModInverse(r, six, nine, ar); },
       ArithmeticError::NoInverse},
      {"inverse modulo zero", [&](Arithmetic& ar) { return tv::crypto::ModInverse(r, nine, zero, ar); },
       ArithmeticError::DivisionByZero},
      {"even modulus", [&](Arithmetic& ar) { return mont.Init(six, ar); },
       ArithmeticError::EvenModulus},
      {"zero modulus", [&](Arithmetic& ar) { return mont.Init(zero, ar); },
       ArithmeticError::EvenModulus},
      {"random below zero", [&](Arithmetic& ar) { return tv::crypto::RandomBelow(r, zero, random, ar); },
       ArithmeticError::InvalidArgument},
      {"failing source", [&](Arithmetic& ar) { return tv::crypto::RandomBits(r, 100, failing, ar); },
       ArithmeticError::RandomFailure},
      {"too many random bits", [&](Arithmetic& ar) { return tv::crypto::RandomBits(r, 16385, random, ar); },
       ArithmeticError::TooLarge},
      {"Miller-Rabin on an even number", [&](Arithmetic& ar) { return tv::crypto::MillerRabin(six, 1, random, ar); },
       ArithmeticError::InvalidArgument},
  };
  for (const auto& c : cases) {
    Arithmetic ar;
    EXPECT_FALSE(c.run(ar)) << c.what;
    EXPECT_EQ(ar.error(), c.error) << c.what;
  }
}

TEST(BigNumErrors, FirstErrorIsKeptUntilReset) {
  Arithmetic ar;
  EXPECT_FALSE(ar.Fail(ArithmeticError::NoInverse));
  EXPECT_FALSE(ar.Fail(ArithmeticError::TooLarge));
  EXPECT_EQ(ar.error(), ArithmeticError::NoInverse);
  ar.Reset();
  EXPECT_TRUE(ar.ok());
}

TEST(BigNumRandom, BelowBoundIsUniformEnoughAndInRange) {
  tvtest::SeededRandom random(3);
  Arithmetic ar;
  BigNum bound;
  ASSERT_TRUE(bound.SetWord(5, ar));
  int counts[5] = {};
  for (int i = 0; i < 5000; ++i) {
    BigNum r;
    ASSERT_TRUE(tv::crypto::RandomBelow(r, bound, random, ar));
    ASSERT_LT(tv::crypto::Compare(r, bound), 0);
    ++counts[r.IsZero() ? 0 : r.Limbs()[0]];
  }
  for (const int count : counts) EXPECT_NEAR(count, 1000, 150);
  for (const std::size_t bits : {1u, 63u, 64u, 65u, 1000u}) {
    BigNum r;
    ASSERT_TRUE(tv::crypto::RandomBits(r, bits, random, ar));
    EXPECT_LE(r.BitLength(), bits);
  }
}

}  // namespace

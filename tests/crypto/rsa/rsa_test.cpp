// RSA key generation and the public and private operations, checked with
// libgcrypt as the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>

#include "code_path.h"
#include "reference.h"
#include "rsa/rsa.h"

namespace {

using tv::crypto::Arithmetic;
using tv::crypto::ArithmeticError;
using tv::crypto::BigNum;
using tv::crypto::RsaKey;
using tvtest::Bytes;
using tvtest::FromBytes;
using tvtest::Mpi;
using tvtest::ToMpi;

bool Equal(const Mpi& a, const Mpi& b) { return gcry_mpi_cmp(a.get(), b.get()) == 0; }

// x mod m, and a·b mod m, in libgcrypt.
Mpi Mod(const Mpi& x, const Mpi& m) {
  Mpi r;
  gcry_mpi_mod(r.get(), x.get(), m.get());
  return r;
}
Mpi MulMod(const Mpi& a, const Mpi& b, const Mpi& m) {
  Mpi r;
  gcry_mpi_mulm(r.get(), a.get(), b.get(), m.get());
  return r;
}
Mpi MinusOne(const Mpi& x) {
  Mpi r;
  gcry_mpi_sub_ui(r.get(), x.get(), 1);
  return r;
}

void ExpectTopTwoBitsAndLength(const BigNum& prime, std::size_t bits, const char* name) {
  EXPECT_EQ(prime.BitLength(), bits) << name;
  EXPECT_TRUE(prime.Bit(bits - 2)) << name << " has its second bit from the top clear";
}

// The relations every generated key must satisfy, checked independently.
void ExpectKeyRelations(const RsaKey& key, std::size_t bits) {
  tvtest::InitGcrypt();
  EXPECT_EQ(key.n.BitLength(), bits);
  ExpectTopTwoBitsAndLength(key.p, bits / 2, "p");
  ExpectTopTwoBitsAndLength(key.q, bits / 2, "q");
  EXPECT_TRUE(key.e.IsWord(65537));

  const Mpi n = ToMpi(key.n), e = ToMpi(key.e), d = ToMpi(key.d), p = ToMpi(key.p),
            q = ToMpi(key.q), dp = ToMpi(key.dp), dq = ToMpi(key.dq), qinv = ToMpi(key.qinv);
  EXPECT_EQ(gcry_prime_check(p.get(), 0), 0u) << "p is not prime";
  EXPECT_EQ(gcry_prime_check(q.get(), 0), 0u) << "q is not prime";

  Mpi product;
  gcry_mpi_mul(product.get(), p.get(), q.get());
  EXPECT_TRUE(Equal(product, n)) << "n != p*q";

  Mpi distance;
  gcry_mpi_sub(distance.get(), p.get(), q.get());
  gcry_mpi_abs(distance.get());
  EXPECT_GT(gcry_mpi_get_nbits(distance.get()), bits / 2 - 100) << "p and q too close";

  const Mpi pMinus1 = MinusOne(p), qMinus1 = MinusOne(q);
  Mpi phi;
  gcry_mpi_mul(phi.get(), pMinus1.get(), qMinus1.get());
  const Mpi one(1ul);
  EXPECT_TRUE(Equal(MulMod(d, e, phi), one)) << "d*e != 1 mod (p-1)(q-1)";
  EXPECT_TRUE(Equal(dp, Mod(d, pMinus1))) << "dp != d mod (p-1)";
  EXPECT_TRUE(Equal(dq, Mod(d, qMinus1))) << "dq != d mod (q-1)";
  EXPECT_TRUE(Equal(MulMod(qinv, q, p), one)) << "qinv*q != 1 mod p";
  EXPECT_LT(gcry_mpi_cmp(qinv.get(), p.get()), 0);
}

// The private operation's result on `message`, or an empty optional-like
// failure reported through `ar`.
bool Private(const RsaKey& key, const Bytes& message, Bytes& result, Arithmetic& ar,
             tv::crypto::RandomSource& random) {
  result.assign(key.n.ByteLength(), 0xEE);
  std::size_t length = 0;
  if (!tv::crypto::RsaPrivate(key, message, result, length, ar, random)) return false;
  result.resize(length);
  return true;
}

bool Public(const RsaKey& key, const Bytes& message, Bytes& result, Arithmetic& ar) {
  result.assign(key.n.ByteLength(), 0xEE);
  std::size_t length = 0;
  if (!tv::crypto::RsaPublic(key, message, result, length, ar)) return false;
  result.resize(length);
  return true;
}

Bytes Powm(const Bytes& base, const BigNum& exponent, const BigNum& modulus) {
  Mpi r;
  gcry_mpi_powm(r.get(), Mpi(base).get(), ToMpi(exponent).get(), ToMpi(modulus).get());
  return r.ToBytes();
}

bool Assign(BigNum& target, const BigNum& source) {
  Arithmetic ar;
  return target.Assign(source, ar);
}

class RsaGeneration
    : public ::testing::TestWithParam<std::tuple<std::size_t, tvtest::CodePath>> {
 protected:
  tvtest::CodePathScope path_{std::get<1>(GetParam())};
};

std::string GenerationName(const ::testing::TestParamInfo<RsaGeneration::ParamType>& info) {
  return std::to_string(std::get<0>(info.param)) + "_" +
         tvtest::CodePathName(std::get<1>(info.param));
}

TEST_P(RsaGeneration, SatisfiesTheKeyRelationsAndSignsAndVerifies) {
  const std::size_t bits = std::get<0>(GetParam());
  tvtest::SeededRandom random(bits);
  Arithmetic ar;
  RsaKey key;
  ASSERT_TRUE(tv::crypto::RsaGenerate(key, bits, ar, random)) << static_cast<int>(ar.error());
  ExpectKeyRelations(key, bits);

  tvtest::OperandSource operands(bits);
  const Bytes message = operands.Number(bits - 1);
  Bytes signature;
  Bytes recovered;
  ASSERT_TRUE(Private(key, message, signature, ar, random));
  EXPECT_EQ(signature, Powm(message, key.d, key.n));
  ASSERT_TRUE(Public(key, signature, recovered, ar));
  EXPECT_EQ(recovered, message);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RsaGeneration,
                         ::testing::Combine(::testing::Values(384, 1024, 2048, 4096),
                                            ::testing::Values(tvtest::CodePath::Accelerated,
                                                              tvtest::CodePath::Portable)),
                         GenerationName);
// The largest key takes minutes to generate; run it with
// --gtest_also_run_disabled_tests --gtest_filter=DISABLED_Largest*
INSTANTIATE_TEST_SUITE_P(DISABLED_Largest, RsaGeneration,
                         ::testing::Combine(::testing::Values(16384),
                                            ::testing::Values(tvtest::CodePath::Accelerated)),
                         GenerationName);

TEST(RsaGenerationErrors, RefusesSizesOutsideTheRangeOrNotMultiplesOf8) {
  tvtest::SeededRandom random(1);
  for (const std::size_t bits : {0u, 376u, 383u, 385u, 1028u, 16392u}) {
    Arithmetic ar;
    RsaKey key;
    EXPECT_FALSE(tv::crypto::RsaGenerate(key, bits, ar, random)) << bits;
    EXPECT_EQ(ar.error(), ArithmeticError::InvalidArgument) << bits;
    EXPECT_TRUE(key.n.IsZero());
  }
}

TEST(RsaGenerationErrors, FailsWhenTheRandomSourceFails) {
  tvtest::SeededRandom random(1);
  random.failing = true;
  Arithmetic ar;
  RsaKey key;
  EXPECT_FALSE(tv::crypto::RsaGenerate(key, 512, ar, random));
  EXPECT_EQ(ar.error(), ArithmeticError::RandomFailure);
}

// One 1024-bit key for the operation tests.
class RsaOperations : public ::testing::TestWithParam<tvtest::CodePath> {
 protected:
  static void SetUpTestSuite() {
    tvtest::InitGcrypt();
    tvtest::SeededRandom random(42);
    Arithmetic ar;
    key_ = new RsaKey;
    ASSERT_TRUE(tv::crypto::RsaGenerate(*key_, 1024, ar, random));
  }
  static void TearDownTestSuite() { delete key_; }

  // A copy of the shared key for a test to damage.
  static RsaKey CopyKey() {
    RsaKey copy;
    Assign(copy.n, key_->n);
    Assign(copy.e, key_->e);
    Assign(copy.d, key_->d);
    Assign(copy.p, key_->p);
    Assign(copy.q, key_->q);
    Assign(copy.dp, key_->dp);
    Assign(copy.dq, key_->dq);
    Assign(copy.qinv, key_->qinv);
    return copy;
  }

  static RsaKey* key_;
  tvtest::CodePathScope path_{GetParam()};
  tvtest::SeededRandom random_{9};
  tvtest::OperandSource operands_{11};
  Arithmetic ar_;
};
RsaKey* RsaOperations::key_ = nullptr;

INSTANTIATE_TEST_SUITE_P(CodePaths, RsaOperations,
                         ::testing::Values(tvtest::CodePath::Accelerated, tvtest::CodePath::Portable),
                         [](const auto& info) { return tvtest::CodePathName(info.param); });

TEST_P(RsaOperations, PrivateOperationOnOneGivesTheSingleByteOne) {
  for (const Bytes& one : {Bytes{0x01}, Bytes{0x00, 0x00, 0x01}}) {
    Bytes result;
    ASSERT_TRUE(Private(*key_, one, result, ar_, random_));
    EXPECT_EQ(result, Bytes{0x01});
  }
}

TEST_P(RsaOperations, PrivateOperationOnZeroGivesAnEmptyResult) {
  Bytes result;
  ASSERT_TRUE(Private(*key_, Bytes(128, 0), result, ar_, random_));
  EXPECT_TRUE(result.empty());
}

TEST_P(RsaOperations, ResultsMatchTheReferenceIncludingInputsAboveTheModulus) {
  for (const std::size_t bits : {8u, 1000u, 1023u, 1024u, 1100u, 2048u, 16384u}) {
    const Bytes message = operands_.Number(bits);
    Bytes result;
    ASSERT_TRUE(Private(*key_, message, result, ar_, random_)) << bits;
    EXPECT_EQ(result, Powm(message, key_->d, key_->n)) << bits;
    ASSERT_TRUE(Public(*key_, message, result, ar_)) << bits;
    EXPECT_EQ(result, Powm(message, key_->e, key_->n)) << bits;
  }
}

TEST_P(RsaOperations, PublicThenPrivateInPlaceReturnsTheInputWithoutLeadingZeros) {
  Bytes message(128, 0);
  const Bytes value = operands_.Number(1000);
  std::copy(value.begin(), value.end(), message.end() - static_cast<std::ptrdiff_t>(value.size()));
  Bytes buffer = message;
  std::size_t length = 0;
  ASSERT_TRUE(tv::crypto::RsaPublic(*key_, buffer, buffer, length, ar_));
  ASSERT_TRUE(
      tv::crypto::RsaPrivate(*key_, {buffer.data(), length}, buffer, length, ar_, random_));
  buffer.resize(length);
  EXPECT_EQ(buffer, value);
}

// Imported keys may carry CRT numbers that do not belong to the key; the
// result then comes from d and is still m^d mod n.
TEST_P(RsaOperations, FallsBackToTheExponentWhenCrtNumbersAreInconsistent) {
  const struct {
    const char* what;
    std::function<void(RsaKey&)> damage;
  } cases[] = {
      {"coefficient off by one", [](RsaKey& k) { Arithmetic ar; tv::crypto::AddWord(k.qinv, k.qinv, 1, ar); }},
      {"exponent1 off by two", [](RsaKey& k) { Arithmetic ar; tv::crypto::SubWord(k.dp, k.dp, 2, ar); }},
      {"exponent2 zero", [](RsaKey& k) { k.dq.Clear(); }},
      {"primes missing", [](RsaKey& k) { k.p.Clear(); k.q.Clear(); }},
      {"primes swapped", [](RsaKey& k) { std::swap(k.p, k.q); }},
      {"even prime", [](RsaKey& k) { Arithmetic ar; tv::crypto::AddWord(k.p, k.p, 1, ar); }},
      {"coefficient above p", [](RsaKey& k) { Arithmetic ar; tv::crypto::Add(k.qinv, k.qinv, k.p, ar); }},
  };
  const Bytes message = operands_.Number(1000);
  const Bytes expected = Powm(message, key_->d, key_->n);
  for (const auto& c : cases) {
    RsaKey key = CopyKey();
    c.damage(key);
    Bytes result;
    ASSERT_TRUE(Private(key, message, result, ar_, random_)) << c.what;
    EXPECT_EQ(result, expected) << c.what;
  }
}

TEST_P(RsaOperations, RefusesToReleaseAResultThatTheKeyCannotCheck) {
  const struct {
    const char* what;
    std::function<void(RsaKey&)> damage;
  } cases[] = {
      {"public key only", [](RsaKey& k) {
         k.d.Clear(); k.p.Clear(); k.q.Clear(); k.dp.Clear(); k.dq.Clear(); k.qinv.Clear(); }},
      {"d and CRT numbers wrong", [](RsaKey& k) {
         Arithmetic ar;
         tv::crypto::AddWord(k.d, k.d, 2, ar);
         tv::crypto::AddWord(k.dp, k.dp, 2, ar); }},
      {"public exponent wrong", [](RsaKey& k) { Arithmetic ar; k.e.SetWord(3, ar); }},
  };
  for (const auto& c : cases) {
    RsaKey key = CopyKey();
    c.damage(key);
    Bytes result;
    Arithmetic ar;
    EXPECT_FALSE(Private(key, operands_.Number(1000), result, ar, random_)) << c.what;
    EXPECT_EQ(ar.error(), ArithmeticError::InvalidKey) << c.what;
  }
}

TEST_P(RsaOperations, ReportsBadInputsKeysAndSources) {
  RsaKey evenModulus = CopyKey();
  tv::crypto::AddWord(evenModulus.n, evenModulus.n, 1, ar_);
  Bytes tooLarge(2049, 0);
  tooLarge[0] = 1;
  Bytes padded(2049, 0);
  padded.back() = 7;
  tvtest::SeededRandom failing(1);
  failing.failing = true;
  const struct {
    const char* what;
    std::function<bool(Arithmetic&)> run;
    ArithmeticError error;
  } cases[] = {
      {"private input above 16384 bits",
       [&](Arithmetic& ar) { Bytes r; return Private(*key_, tooLarge, r, ar, random_); },
       ArithmeticError::TooLarge},
      {"public input above 16384 bits",
       [&](Arithmetic& ar) { Bytes r; return Public(*key_, tooLarge, r, ar); },
       ArithmeticError::TooLarge},
      {"even modulus, private",
       [&](Arithmetic& ar) { Bytes r; return Private(evenModulus, padded, r, ar, random_); },
       ArithmeticError::EvenModulus},
      {"even modulus, public",
       [&](Arithmetic& ar) { Bytes r; return Public(evenModulus, padded, r, ar); },
       ArithmeticError::EvenModulus},
      {"failing random source",
       [&](Arithmetic& ar) { Bytes r; return Private(*key_, padded, r, ar, failing); },
       ArithmeticError::RandomFailure},
      {"output too small", [&](Arithmetic& ar) {
         Bytes out(10);
         std::size_t length = 0;
         return tv::crypto::RsaPrivate(*key_, padded, out, length, ar, random_);
       }, ArithmeticError::InvalidArgument},
  };
  for (const auto& c : cases) {
    Arithmetic ar;
    EXPECT_FALSE(c.run(ar)) << c.what;
    EXPECT_EQ(ar.error(), c.error) << c.what;
    // The error belongs to that operation only: the next one succeeds.
    Bytes result;
    EXPECT_TRUE(Private(*key_, Bytes{0x05}, result, ar, random_)) << c.what;
    EXPECT_TRUE(ar.ok());
  }
  Bytes result;
  ASSERT_TRUE(Private(*key_, padded, result, ar_, random_)) << "2049 bytes with leading zeros";
  EXPECT_EQ(result, Powm(Bytes{7}, key_->d, key_->n));
}

}  // namespace

// Private key blobs checked against their public key and recomputed from the
// primes, against openssl's own blobs of the fixed test keys (tests/keys).
#include "android/rsa_key_blob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

namespace tf::android {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes KeyFile(const std::string& name) {
  std::ifstream in(std::string(TF_SOURCE_DIR) + "/setup/android/tests/keys/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The fields behind the 20-byte header of a 2048-bit blob.
constexpr size_t kModulus = 20, kP = 276, kQ = 404, kDp = 532, kDq = 660, kQinv = 788, kD = 916, kEnd = 1172;

// The public key blob of a private one: type 6, "RSA1", header and modulus.
Bytes PublicOf(const Bytes& privateBlob) {
  Bytes pub(privateBlob.begin(), privateBlob.begin() + kP);
  pub[0] = 0x06;
  pub[8 + 3] = '1';
  return pub;
}

void Zero(Bytes& blob, size_t from, size_t to) { std::fill(blob.begin() + from, blob.begin() + to, 0); }

const char* const kKeys[] = {"short-dp.blob", "short-dq.blob", "short-qinv.blob", "short-d.blob", "exponent-17.blob"};

// What a PKCS#12 import that stops at a short value leaves: that value and
// every later one zero, and the public exponent 65537 whatever the key's.
TEST(RsaKeyBlob, ValuesLeftZeroAreRecomputedAsTheKeyGeneratorMadeThem) {
  for (const char* name : kKeys) {
    const Bytes reference = KeyFile(name);
    ASSERT_EQ(reference.size(), kEnd) << name;
    const Bytes pub = PublicOf(reference);
    Bytes same = reference;
    EXPECT_EQ(RepairPrivateKeyBlob(same, pub), KeyBlobRepair::Intact) << name;
    EXPECT_EQ(same, reference) << name;
    for (size_t from : {kDp, kDq, kQinv, kD}) {
      SCOPED_TRACE(std::string(name) + " zero from " + std::to_string(from));
      Bytes blob = reference;
      Zero(blob, from, kEnd);
      blob[16] = 0x01, blob[17] = 0x00, blob[18] = 0x01, blob[19] = 0x00;
      EXPECT_EQ(SamePublicKey(blob, pub), reference[16] == 0x01 && reference[18] == 0x01);
      EXPECT_EQ(RepairPrivateKeyBlob(blob, pub), KeyBlobRepair::Repaired);
      // openssl made the exponent-17 key's d modulo (p-1)(q-1), the others'
      // modulo lcm(p-1, q-1) as the repair does; both sign alike.
      const size_t compared = std::string(name) == "exponent-17.blob" ? kD : kEnd;
      EXPECT_TRUE(std::equal(blob.begin(), blob.begin() + compared, reference.begin()));
      EXPECT_NE(std::count(blob.begin() + kD, blob.end(), 0), 256);
      EXPECT_TRUE(SamePublicKey(blob, pub));
    }
  }
}

TEST(RsaKeyBlob, EachPrivateValueAloneAndAWrongPrime) {
  const Bytes reference = KeyFile("short-dq.blob");
  ASSERT_EQ(reference.size(), kEnd);
  const Bytes pub = PublicOf(reference);
  struct Case {
    size_t from, to;
    uint8_t value;
    KeyBlobRepair result;
  } cases[] = {
      {kDp, kDp + 1, 0x5A, KeyBlobRepair::Repaired},     {kDq + 127, kDq + 128, 0xFF, KeyBlobRepair::Repaired},
      {kQinv, kQinv + 64, 0, KeyBlobRepair::Repaired},   {kD + 255, kD + 256, 0x80, KeyBlobRepair::Repaired},
      {kD, kD + 256, 0, KeyBlobRepair::Repaired},        {kP + 127, kP + 128, 0x11, KeyBlobRepair::Repaired},
      {kQ, kQ + 128, 0, KeyBlobRepair::Repaired},        {kP, kQ + 128, 0, KeyBlobRepair::Damaged},
      {kP + 5, kP + 6, 0x00, KeyBlobRepair::Repaired},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to));
    Bytes blob = reference;
    std::fill(blob.begin() + c.from, blob.begin() + c.to, c.value);
    if (blob == reference) blob[c.from] ^= 1;
    const KeyBlobRepair result = RepairPrivateKeyBlob(blob, pub);
    EXPECT_EQ(result, c.result);
    if (result == KeyBlobRepair::Repaired) EXPECT_EQ(blob, reference);
  }
}

TEST(RsaKeyBlob, AnotherKeyOrAMalformedBlobIsRefused) {
  const Bytes key = KeyFile("short-dq.blob"), other = KeyFile("short-dp.blob");
  ASSERT_EQ(key.size(), kEnd);
  ASSERT_EQ(other.size(), kEnd);
  Bytes blob = key;
  EXPECT_EQ(RepairPrivateKeyBlob(blob, PublicOf(other)), KeyBlobRepair::NotItsKey);
  EXPECT_EQ(blob, key) << "a refused blob stays as it was";

  auto changed = [&key](size_t at, uint8_t value) {
    Bytes b = key;
    b[at] = value;
    return b;
  };
  const Bytes truncated(key.begin(), key.end() - 1), publicKey = PublicOf(key);
  const Bytes cutPublic(publicKey.begin(), publicKey.end() - 1);
  struct Case {
    const char* what;
    Bytes privateBlob, publicBlob;
    KeyBlobRepair result;
    bool samePublicKey;
  } cases[] = {
      {"the key itself", key, PublicOf(key), KeyBlobRepair::Intact, true},
      {"another modulus", key, PublicOf(changed(kModulus + 100, key[kModulus + 100] ^ 4)), KeyBlobRepair::NotItsKey,
       false},
      {"an even exponent", key, PublicOf(changed(16, 2)), KeyBlobRepair::Damaged, false},
      {"one byte short", truncated, PublicOf(key), KeyBlobRepair::Damaged, false},
      {"a public key blob as the private one", PublicOf(key), PublicOf(key), KeyBlobRepair::Damaged, false},
      {"a private key blob as the public one", key, key, KeyBlobRepair::NotItsKey, false},
      {"not RSA2", changed(11, '1'), PublicOf(key), KeyBlobRepair::Damaged, false},
      {"2056 bits, no multiple of 16", changed(12, 0x08), PublicOf(changed(12, 0x08)), KeyBlobRepair::Damaged,
       false},
      {"more bits than the blob holds", changed(13, 0x10), PublicOf(key), KeyBlobRepair::Damaged, false},
      {"a public blob cut in the modulus", key, cutPublic, KeyBlobRepair::NotItsKey, false},
      {"empty blobs", Bytes(), Bytes(), KeyBlobRepair::Damaged, false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SamePublicKey(c.privateBlob, c.publicBlob), c.samePublicKey);
    Bytes blob = c.privateBlob;
    EXPECT_EQ(RepairPrivateKeyBlob(blob, c.publicBlob), c.result);
  }
}

}  // namespace
}  // namespace tf::android

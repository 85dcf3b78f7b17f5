#pragma once
// RSA keys in CryptoAPI's blob layout (PUBLICKEYBLOB, PRIVATEKEYBLOB): the
// public half compared with a certificate's, and the private values checked
// and recomputed from the primes, for importers that write a PKCS#1 value
// shorter than its nominal width wrongly into the fixed-width blob.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tf::android {

namespace rsa_blob {
inline constexpr uint8_t kPublicKeyBlob = 0x06;
inline constexpr uint8_t kPrivateKeyBlob = 0x07;
inline constexpr uint32_t kPublicMagic = 0x31415352;   // "RSA1"
inline constexpr uint32_t kPrivateMagic = 0x32415352;  // "RSA2"
inline constexpr size_t kMagic = 8, kBitLength = 12, kExponent = 16, kModulus = 20;
inline constexpr uint32_t kMinBits = 512, kMaxBits = 16384;
}  // namespace rsa_blob

// Whether a private key blob's public half (bit length, public exponent and
// modulus) is the one of a public key blob. Malformed blobs are not.
bool SamePublicKey(std::span<const uint8_t> privateBlob, std::span<const uint8_t> publicBlob);

enum class KeyBlobRepair {
  Intact,     // every private value was right
  Repaired,   // wrong values were recomputed from the primes and the public exponent
  NotItsKey,  // the blob's modulus is not the public key's
  Damaged,    // malformed, or the primes do not give the modulus
};

// Checks a PRIVATEKEYBLOB against `publicBlob` (same bit length and modulus)
// and recomputes what the modulus, the two primes and the public key's
// exponent fix: the public exponent itself, a prime that does not divide the
// modulus (from the other one, when that one does), dP, dQ and qInv, and the
// private exponent when it does not invert the public one (then it becomes
// e^-1 mod lcm(p-1, q-1)).
KeyBlobRepair RepairPrivateKeyBlob(std::vector<uint8_t>& privateBlob, std::span<const uint8_t> publicBlob);

}  // namespace tf::android

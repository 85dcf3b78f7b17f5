#include "android/rsa_key_blob.h"

#include <algorithm>

#include "common/bytes.h"

namespace tf::android {

using namespace rsa_blob;

namespace {

// A non-negative integer of 32-bit limbs, least significant first, without
// high zero limbs. Only what the key values need: no signs, plain algorithms.
class Natural {
 public:
  Natural() = default;
  explicit Natural(uint32_t value) {
    if (value != 0) limbs_.push_back(value);
  }
  static Natural FromLittleEndian(std::span<const uint8_t> bytes) {
    Natural n;
    n.limbs_.assign((bytes.size() + 3) / 4, 0);
    for (size_t i = 0; i < bytes.size(); ++i) n.limbs_[i / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (i % 4));
    n.Trim();
    return n;
  }
  // Exactly `width` bytes; false when the value needs more.
  bool ToLittleEndian(uint8_t* out, size_t width) const {
    for (size_t i = 0; i < width; ++i) out[i] = i / 4 < limbs_.size() ? static_cast<uint8_t>(limbs_[i / 4] >> (8 * (i % 4))) : 0;
    for (size_t i = width; i < limbs_.size() * 4; ++i)
      if (static_cast<uint8_t>(limbs_[i / 4] >> (8 * (i % 4))) != 0) return false;
    return true;
  }

  bool IsZero() const { return limbs_.empty(); }
  bool IsOne() const { return limbs_.size() == 1 && limbs_[0] == 1; }
  bool IsEven() const { return limbs_.empty() || (limbs_[0] & 1) == 0; }

  friend int Compare(const Natural& a, const Natural& b) {
    if (a.limbs_.size() != b.limbs_.size()) return a.limbs_.size() < b.limbs_.size() ? -1 : 1;
    for (size_t i = a.limbs_.size(); i-- > 0;)
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    return 0;
  }
  friend bool operator==(const Natural& a, const Natural& b) { return Compare(a, b) == 0; }

  Natural& operator+=(const Natural& b) {
    limbs_.resize(std::max(limbs_.size(), b.limbs_.size()) + 1, 0);
    uint64_t carry = 0;
    for (size_t i = 0; i < limbs_.size(); ++i) {
      carry += static_cast<uint64_t>(limbs_[i]) + b.Limb(i);
      limbs_[i] = static_cast<uint32_t>(carry);
      carry >>= 32;
    }
    Trim();
    return *this;
  }
  // Only for *this >= b (callers compare first).
  Natural& operator-=(const Natural& b) {
    uint64_t borrow = 0;
    for (size_t i = 0; i < limbs_.size(); ++i) {
      const uint64_t subtrahend = static_cast<uint64_t>(b.Limb(i)) + borrow;
      borrow = limbs_[i] < subtrahend ? 1 : 0;
      limbs_[i] = static_cast<uint32_t>(limbs_[i] - subtrahend);
    }
    Trim();
    return *this;
  }
  friend Natural operator+(Natural a, const Natural& b) { return a += b; }
  friend Natural operator-(Natural a, const Natural& b) { return a -= b; }
  friend Natural operator*(const Natural& a, const Natural& b) {
    Natural product;
    if (a.IsZero() || b.IsZero()) return product;
    product.limbs_.assign(a.limbs_.size() + b.limbs_.size(), 0);
    for (size_t i = 0; i < a.limbs_.size(); ++i) {
      uint64_t carry = 0;
      for (size_t j = 0; j < b.limbs_.size(); ++j) {
        carry += static_cast<uint64_t>(a.limbs_[i]) * b.limbs_[j] + product.limbs_[i + j];
        product.limbs_[i + j] = static_cast<uint32_t>(carry);
        carry >>= 32;
      }
      product.limbs_[i + b.limbs_.size()] = static_cast<uint32_t>(carry);
    }
    product.Trim();
    return product;
  }
  void Halve() {
    for (size_t i = 0; i < limbs_.size(); ++i)
      limbs_[i] = (limbs_[i] >> 1) | (i + 1 < limbs_.size() ? limbs_[i + 1] << 31 : 0);
    Trim();
  }
  // *this * 2 + bit.
  void ShiftInBit(bool bit) {
    uint32_t carry = bit ? 1 : 0;
    for (uint32_t& limb : limbs_) {
      const uint32_t out = limb >> 31;
      limb = (limb << 1) | carry;
      carry = out;
    }
    if (carry != 0) limbs_.push_back(carry);
  }

  // Quotient and remainder, one bit at a time; false for a zero divisor.
  friend bool DivMod(const Natural& a, const Natural& b, Natural& quotient, Natural& remainder) {
    if (b.IsZero()) return false;
    quotient.limbs_.assign(a.limbs_.size(), 0);
    remainder = Natural();
    for (size_t bit = a.limbs_.size() * 32; bit-- > 0;) {
      remainder.ShiftInBit((a.limbs_[bit / 32] >> (bit % 32)) & 1);
      if (Compare(remainder, b) >= 0) {
        remainder -= b;
        quotient.limbs_[bit / 32] |= 1u << (bit % 32);
      }
    }
    quotient.Trim();
    return true;
  }

 private:
  uint32_t Limb(size_t i) const { return i < limbs_.size() ? limbs_[i] : 0; }
  void Trim() {
    while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
  }

  std::vector<uint32_t> limbs_;
};

Natural Mod(const Natural& a, const Natural& m) {
  Natural q, r;
  DivMod(a, m, q, r);
  return r;
}

// Binary: halvings and subtractions only.
Natural Gcd(Natural a, Natural b) {
  if (a.IsZero() || b.IsZero()) return a.IsZero() ? b : a;
  size_t twos = 0;
  for (; a.IsEven() && b.IsEven(); ++twos) a.Halve(), b.Halve();
  while (a.IsEven()) a.Halve();
  while (!b.IsZero()) {
    while (b.IsEven()) b.Halve();
    if (Compare(a, b) > 0) std::swap(a, b);
    b -= a;
  }
  while (twos-- > 0) a.ShiftInBit(false);
  return a;
}

// x - y modulo m, for x and y below m.
Natural SubMod(const Natural& x, const Natural& y, const Natural& m) {
  return Compare(x, y) >= 0 ? x - y : x + m - y;  // (x + m) - y
}

// a^-1 mod m for an odd m > 1 (binary inversion); false when there is none.
bool InverseModOdd(const Natural& a, const Natural& m, Natural& inverse) {
  if (m.IsEven() || m.IsOne()) return false;
  Natural u = Mod(a, m), v = m, x1(1), x2(0);
  if (u.IsZero()) return false;
  // Invariants: x1 * a = u and x2 * a = v (mod m).
  auto halve = [&m](Natural& value, Natural& x) {
    while (value.IsEven()) {
      value.Halve();
      if (!x.IsEven()) x += m;
      x.Halve();
    }
  };
  while (!u.IsOne() && !v.IsOne()) {
    halve(u, x1);
    halve(v, x2);
    if (u.IsOne() || v.IsOne()) break;
    if (Compare(u, v) >= 0) {
      u -= v;
      x1 = SubMod(x1, x2, m);
    } else {
      v -= u;
      x2 = SubMod(x2, x1, m);
    }
    if (u.IsZero() || v.IsZero()) return false;  // a common factor
  }
  inverse = u.IsOne() ? x1 : x2;
  return true;
}

// a^-1 mod m for an odd a > 1 and any m > 1: with t = m^-1 mod a,
// (1 + m * (a - t)) / a is the inverse, and it lies below m.
bool InverseOfOdd(const Natural& a, const Natural& m, Natural& inverse) {
  if (!m.IsEven()) return InverseModOdd(a, m, inverse);
  Natural t, remainder;
  if (a.IsEven() || Compare(m, Natural(1)) <= 0 || !InverseModOdd(m, a, t)) return false;
  return DivMod(Natural(1) + m * (a - t), a, inverse, remainder) && remainder.IsZero();
}

// The fields of a blob, in order, with their widths for a bit length.
struct Layout {
  size_t modulus, prime1, prime2, exponent1, exponent2, coefficient, privateExponent, end;
};
Layout LayoutFor(uint32_t bits) {
  const size_t full = bits / 8, half = bits / 16;
  Layout l{};
  l.modulus = kModulus;
  l.prime1 = l.modulus + full;
  l.prime2 = l.prime1 + half;
  l.exponent1 = l.prime2 + half;
  l.exponent2 = l.exponent1 + half;
  l.coefficient = l.exponent2 + half;
  l.privateExponent = l.coefficient + half;
  l.end = l.privateExponent + full;
  return l;
}

// The header of a blob of this type; its bit length, checked, in `bits`.
bool ReadHeader(std::span<const uint8_t> blob, uint8_t type, uint32_t magic, uint32_t& bits) {
  const ByteReader r(blob);
  uint8_t blobType = 0;
  uint32_t blobMagic = 0;
  if (!r.U8(0, blobType) || !r.U32(kMagic, blobMagic) || !r.U32(kBitLength, bits) || blobType != type ||
      blobMagic != magic || bits < kMinBits || bits > kMaxBits || bits % 16 != 0)
    return false;
  const Layout l = LayoutFor(bits);
  return r.Has(0, type == kPrivateKeyBlob ? l.end : l.prime1);
}

// Both blobs well-formed, with the same bit length and modulus.
bool SameModulus(std::span<const uint8_t> privateBlob, std::span<const uint8_t> publicBlob) {
  uint32_t privateBits = 0, publicBits = 0;
  if (!ReadHeader(privateBlob, kPrivateKeyBlob, kPrivateMagic, privateBits) ||
      !ReadHeader(publicBlob, kPublicKeyBlob, kPublicMagic, publicBits) || privateBits != publicBits)
    return false;
  const size_t at = LayoutFor(privateBits).modulus, end = LayoutFor(privateBits).prime1;
  return std::equal(privateBlob.begin() + static_cast<ptrdiff_t>(at), privateBlob.begin() + static_cast<ptrdiff_t>(end),
                    publicBlob.begin() + static_cast<ptrdiff_t>(at));
}

}  // namespace

bool SamePublicKey(std::span<const uint8_t> privateBlob, std::span<const uint8_t> publicBlob) {
  return SameModulus(privateBlob, publicBlob) &&
         std::equal(privateBlob.begin() + kExponent, privateBlob.begin() + kModulus, publicBlob.begin() + kExponent);
}

KeyBlobRepair RepairPrivateKeyBlob(std::vector<uint8_t>& privateBlob, std::span<const uint8_t> publicBlob) {
  uint32_t bits = 0;
  if (!ReadHeader(privateBlob, kPrivateKeyBlob, kPrivateMagic, bits)) return KeyBlobRepair::Damaged;
  if (!SameModulus(privateBlob, publicBlob)) return KeyBlobRepair::NotItsKey;
  const Layout l = LayoutFor(bits);
  const size_t full = bits / 8, half = bits / 16;
  const std::span<const uint8_t> blob(privateBlob);
  auto field = [&blob](size_t at, size_t width) { return Natural::FromLittleEndian(blob.subspan(at, width)); };
  // The public exponent is the public key's: an importer may have written a fixed one.
  const Natural n = field(l.modulus, full), e = Natural::FromLittleEndian(publicBlob.subspan(kExponent, 4));
  Natural p = field(l.prime1, half), q = field(l.prime2, half), quotient, remainder;

  // A prime read wrongly is the modulus divided by the other one.
  if (!(p * q == n)) {
    if (!q.IsZero() && !q.IsOne() && DivMod(n, q, quotient, remainder) && remainder.IsZero()) {
      p = quotient;
    } else if (!p.IsZero() && !p.IsOne() && DivMod(n, p, quotient, remainder) && remainder.IsZero()) {
      q = quotient;
    } else {
      return KeyBlobRepair::Damaged;
    }
  }
  if (p.IsOne() || q.IsOne() || p.IsEven() || q.IsEven()) return KeyBlobRepair::Damaged;
  const Natural one(1), p1 = p - one, q1 = q - one;
  Natural dP, dQ, qInv, d = field(l.privateExponent, full);
  if (!InverseOfOdd(e, p1, dP) || !InverseOfOdd(e, q1, dQ) || !InverseModOdd(q, p, qInv))
    return KeyBlobRepair::Damaged;
  // Any exponent that inverts e modulo p-1 and q-1 signs alike; a wrong one is
  // replaced by the smallest, as key generators make it.
  if (Compare(d, n) >= 0 || !Mod(d * e, p1).IsOne() || !Mod(d * e, q1).IsOne()) {
    const Natural lcm = DivMod(p1 * q1, Gcd(p1, q1), quotient, remainder) ? quotient : Natural();
    if (!InverseOfOdd(e, lcm, d)) return KeyBlobRepair::Damaged;
  }

  std::vector<uint8_t> repaired = privateBlob;
  std::copy(publicBlob.begin() + kExponent, publicBlob.begin() + kModulus, repaired.begin() + kExponent);
  if (!p.ToLittleEndian(&repaired[l.prime1], half) || !q.ToLittleEndian(&repaired[l.prime2], half) ||
      !dP.ToLittleEndian(&repaired[l.exponent1], half) || !dQ.ToLittleEndian(&repaired[l.exponent2], half) ||
      !qInv.ToLittleEndian(&repaired[l.coefficient], half) || !d.ToLittleEndian(&repaired[l.privateExponent], full))
    return KeyBlobRepair::Damaged;
  if (repaired == privateBlob) return KeyBlobRepair::Intact;
  privateBlob.swap(repaired);
  return KeyBlobRepair::Repaired;
}

}  // namespace tf::android

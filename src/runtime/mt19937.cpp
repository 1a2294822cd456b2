#include "mt19937.h"

namespace rt {

void mt_seed(MtState& s, std::uint32_t seed) {
  std::uint32_t r = seed;
  s.w[0] = r;
  for (std::uint32_t i = 1; i < 624; ++i) {
    r = 1812433253u * (r ^ (r >> 30)) + i;
    s.w[i] = r;
  }
  s.w[624] = 624;
}

void mt_seed_key(MtState& s, const std::uint32_t* key, int length) {
  mt_seed(s, 19650218u);
  std::uint32_t* mt = s.w;
  int i = 1;
  int j = 0;
  for (int k = 624 > length ? 624 : length; k > 0; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525u)) + key[j] + static_cast<std::uint32_t>(j);
    ++i;
    ++j;
    if (i >= 624) {
      mt[0] = mt[623];
      i = 1;
    }
    if (j >= length) j = 0;
  }
  for (int k = 623; k > 0; --k) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941u)) - static_cast<std::uint32_t>(i);
    ++i;
    if (i >= 624) {
      mt[0] = mt[623];
      i = 1;
    }
  }
  mt[0] = 0x80000000u;
  s.w[624] = 624;
}

namespace {
void twist(MtState& s) {
  for (int kk = 0; kk < 227; ++kk) {
    const std::uint32_t y = (s.w[kk] & 0x80000000u) | (s.w[kk + 1] & 0x7fffffffu);
    s.w[kk] = s.w[kk + 397] ^ (y >> 1) ^ ((y & 1u) * 0x9908b0dfu);
  }
  for (int kk = 227; kk < 623; ++kk) {
    const std::uint32_t y = (s.w[kk] & 0x80000000u) | (s.w[kk + 1] & 0x7fffffffu);
    s.w[kk] = s.w[kk - 227] ^ (y >> 1) ^ ((y & 1u) * 0x9908b0dfu);
  }
  const std::uint32_t y = (s.w[623] & 0x80000000u) | (s.w[0] & 0x7fffffffu);
  s.w[623] = s.w[396] ^ (y >> 1) ^ ((y & 1u) * 0x9908b0dfu);
}
}  // namespace

std::uint32_t mt_next(MtState& s) {
  std::uint32_t k = s.w[624] + 1;
  std::uint32_t y;
  if (k > 624) {
    twist(s);
    y = s.w[0];
    s.w[624] = 1;
  } else {
    y = s.w[k - 1];
    s.w[624] = k;
  }
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

double mt_double(MtState& s) {
  double r;
  do {
    const std::uint32_t a = mt_next(s) >> 5;
    const std::uint32_t b = mt_next(s) >> 6;
    r = (static_cast<double>(a) * 67108864.0 + static_cast<double>(b)) * 1.1102230246251565e-16;
  } while (r == 0.0);
  return r;
}

}  // namespace rt

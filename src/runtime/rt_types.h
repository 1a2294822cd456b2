// Element types shared by the plug-ins and the core: the widths the host's
// generated code uses (double, 32-bit integers, 1-byte boolean, complex double).
#pragma once

#include <cstdint>

typedef double real_T;
typedef std::int32_t int32_T;
typedef std::uint32_t uint32_T;
typedef bool boolean_T;

struct creal_T {
  double re;
  double im;
};

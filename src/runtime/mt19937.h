// MT19937 generator state and its conversion to doubles.
//
// A state is 625 words: 0..623 the state vector, 624 the number of words
// used since the last twist (624: twist before the next output).
#pragma once

#include <cstdint>

namespace rt {

struct MtState {
  std::uint32_t w[625];
};

// Standard initialisation from one 32-bit seed.
void mt_seed(MtState& s, std::uint32_t seed);

// Standard initialisation from a key of several 32-bit words (independent
// streams for distinct keys).
void mt_seed_key(MtState& s, const std::uint32_t* key, int length);

// One tempered 32-bit output.
std::uint32_t mt_next(MtState& s);

// One double in (0, 1) with 53-bit resolution from two outputs; an exact 0
// is redrawn.
double mt_double(MtState& s);

}  // namespace rt

// How a gas molecule leaves an atom after a diffuse collision, shared by the
// hard-sphere and trajectory methods.
#pragma once

namespace ccs {

// Direction of a diffuse re-emission: the specular one, the cosine law about
// the surface normal, or the direction before the collision (the plug-ins'
// code `diffusive`: 0, 1, anything else).
enum class DiffuseDirection { Specular, CosineLaw, Unchanged };

inline DiffuseDirection diffuse_direction_from_code(double diffusive) {
  if (diffusive == 0.0) return DiffuseDirection::Specular;
  if (diffusive == 1.0) return DiffuseDirection::CosineLaw;
  return DiffuseDirection::Unchanged;
}

// The plug-ins' code `random_C`: 1 draws the speed of a diffuse re-emission
// from the flux-weighted Maxwell law.
inline bool maxwell_speed_from_code(double random_C) { return random_C == 1.0; }

}  // namespace ccs

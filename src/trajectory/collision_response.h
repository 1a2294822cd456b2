// What happens when the gas molecule strikes one atom: the contact point on
// the atom's collision sphere and the speed and direction with which the
// molecule leaves.
//
// Random draws, in this order, from the calling thread's stream: r1 (diffuse
// when r1 < a); for a diffuse cosine-law collision then psi and alpha; for a
// diffuse collision with the Maxwell speed law then (y, z) pairs until one is
// accepted. A non-diffuse collision draws only r1.
#pragma once

#include "runtime/collision_law.h"

namespace ccs::trajectory {

// Contact of the step x_s -> x_new (m) with the sphere of radius R about
// `centre` (Å): the unit step direction s_hat, the outward normal n and the
// contact point P (Å), where the line of the step enters the sphere.
void contact_point(const double centre[3], double R, double R2, const double x_s[3],
                   const double x_new[3], double s_hat[3], double n[3], double P[3]);

struct SurfaceLaw {
  double a = 0.0;            // probability that a collision is diffuse
  DiffuseDirection diffusive = DiffuseDirection::Specular;  // direction of a diffuse re-emission
  bool maxwell_speed = false;  // its speed from the flux-weighted Maxwell law
  double v_c2 = 0.0;         // mean re-emission speed (m/s); 0: v_inf
  double v_inf = 0.0;        // asymptotic speed of the molecule (m/s)
  double Force_const = 0.0;  // K_F
};

// The struck atom when atoms move: a non-diffuse collision is then elastic
// with the atom's mass; an atom lighter than the gas molecule is replaced by
// the whole molecule and its normal velocity scaled by cfactor.
struct MovingAtom {
  double V[3] = {0.0, 0.0, 0.0};     // atom velocity (m/s)
  double mass = 0.0;                 // atom mass (g/mol)
  const double* massarray = nullptr;  // all atom masses (g/mol)
  int N = 0;
  double cfactor = 0.0;
  double m_gm = 0.0;  // gas molecule mass (g/mol)
};

// Response to a collision with surface normal n, step direction s_hat and
// field term E2 at the contact. v_new is the velocity at the end of the
// colliding step. `atom` is null for fixed (infinitely heavy) atoms, whose
// non-diffuse law is the specular reflection. u_hat and speed receive the
// leaving direction and speed; both keep their previous values for a diffuse
// collision with the Unchanged direction law. A diffuse collision with the
// Specular direction law writes v_new into dir.
void collision_response(const SurfaceLaw& law, const double s_hat[3], const double n[3], double E2,
                        const double v_new[3], const MovingAtom* atom, double u_hat[3],
                        double* speed, double dir[3]);

}  // namespace ccs::trajectory

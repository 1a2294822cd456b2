// Per-trajectory kernels of the trajectory method: one gas molecule from its
// entry point through the field of the ion's charges and off the atoms until
// it leaves the exit box, returning the momentum it transferred (probe.dp).
//
// Common contract:
//   - tc is shared read-only by all threads; probe and scratch are private to
//     the calling thread. probe.dist_back must hold tc.mol.N + 1 entries, all
//     1000 (tc.dist_back_init likewise).
//   - probe.dp keeps its value unless a transfer rule writes it (the caller
//     sets it to 0 first); probe.pos, probe.dir and probe.dist_back are
//     overwritten along the way.
//   - Random draws (collision response only) come from the calling thread's
//     current stream (rt::rng::rand).
//   - Nothing is allocated per step; scratch grows once to the charge count.
#pragma once

#include "runtime/context.h"
#include "trajectory/trajectory_records.h"

namespace ccs::trajectory {

// Few charges (the driver uses it for nq <= 10), moving atoms: velocities
// from tc.mol.Move_pos frames; a non-diffuse collision is elastic with the
// atom's mass (tc.mol.massarray, tc.mol.cfactor). With exactly one charge a
// molecule passing outside tc.par.r_capture is deflected analytically.
void moving_atom_trajectory(rt::Context* ctx, const TrajectoryContext& tc, Probe& probe,
                              TrajectoryScratch& scratch);

// Few charges, fixed atoms: a non-diffuse collision is specular. The
// moving-atom fields of tc.mol are not read.
void fixed_atom_trajectory(rt::Context* ctx, const TrajectoryContext& tc, Probe& probe,
                            TrajectoryScratch& scratch);

// Many charges (the driver uses it for nq > 10), fixed atoms: the field is
// summed by matrix products; no capture test, every trajectory is
// integrated. tc.par.r_capture and tc.charges.q2 are not read.
void many_charge_trajectory(rt::Context* ctx, const TrajectoryContext& tc, Probe& probe,
                               TrajectoryScratch& scratch);

}  // namespace ccs::trajectory

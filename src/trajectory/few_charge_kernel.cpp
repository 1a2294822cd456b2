// Few-charge trajectory kernels: the field summed in loops over the charges,
// with moving or fixed atoms.
#include "trajectory/atom_motion.h"
#include "trajectory/charge_field.h"
#include "trajectory/trajectory_integrator.h"
#include "trajectory/trajectory_kernels.h"

namespace ccs::trajectory {

void moving_atom_trajectory(rt::Context*, const TrajectoryContext& tc, Probe& probe,
                              TrajectoryScratch& scratch) {
  LoopField field(tc.charges, tc.par.Force_const);
  MovingAtoms atoms(tc.mol, tc.par.m_gas);
  NoObserver obs;
  TrajectoryIntegrator<LoopField, MovingAtoms> run(tc, probe, scratch, field, atoms, obs);
  run.run();
}

void fixed_atom_trajectory(rt::Context*, const TrajectoryContext& tc, Probe& probe,
                            TrajectoryScratch& scratch) {
  LoopField field(tc.charges, tc.par.Force_const);
  FixedAtoms atoms;
  NoObserver obs;
  TrajectoryIntegrator<LoopField, FixedAtoms> run(tc, probe, scratch, field, atoms, obs);
  run.run();
}

}  // namespace ccs::trajectory

// Many-charge trajectory kernel: the field summed by row-by-matrix products,
// fixed atoms.
#include "trajectory/atom_motion.h"
#include "trajectory/charge_field.h"
#include "trajectory/trajectory_integrator.h"
#include "trajectory/trajectory_kernels.h"

namespace ccs::trajectory {

void many_charge_trajectory(rt::Context*, const TrajectoryContext& tc, Probe& probe,
                               TrajectoryScratch& scratch) {
  MatrixField field(tc.charges, tc.par.Force_const, scratch);
  FixedAtoms atoms;
  NoObserver obs;
  TrajectoryIntegrator<MatrixField, FixedAtoms> run(tc, probe, scratch, field, atoms, obs);
  run.run();
}

}  // namespace ccs::trajectory

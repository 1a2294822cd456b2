// Host entry of tracerun_well: 31 inputs, at most 15 outputs.
#include "mex/trajectory_inputs.h"
#include "trajectory/trajectory_driver.h"
#include "trajectory/trajectory_entries.h"

using mexentry::Kind;

static const mexentry::InputSpec tracerun_well_inputs[] = {
    CCS_TRAJECTORY_COMMON_INPUTS,
    {"epsili", Kind::Column, 150000, 1},
    {"sigmai", Kind::Column, 150000, 1},
    {"sigma2i", Kind::Column, 150000, 1},
    {"seedn", Kind::Scalar},
    {"MobcalHS", Kind::Scalar},
    {"qpol", Kind::Scalar},
};

static const mexentry::Plugin tracerun_well_plugin = {"tracerun_well", 31, 15,
                                                      tracerun_well_inputs};

static void tracerun_well_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  ccs::trajectory::TrajectoryInputs chk = trajectory_check_fields(in, 29);
  chk.epsili = in.array(25);
  chk.sigmai = in.array(26);
  chk.sigma2i = in.array(27);
  chk.qpol = in.scalar(30);
  ccs::trajectory::trajectory_check_inputs(ccs::trajectory::Variant::Well, chk);
  double r[11];
  tracerun_well(ctx, in.scalar(0), in.scalar(1), in.scalar(2), in.scalar(3), in.scalar(4),
                in.inout(5), in.scalar(6), in.scalar(7), in.scalar(8), in.scalar(9),
                in.scalar(10), in.scalar(11), in.scalar(12), in.scalar(13), in.scalar(14),
                in.scalar(15), in.scalar(16), in.scalar(17), in.scalar(18), in.scalar(19),
                in.scalar(20), in.array(21), in.scalar(22), in.scalar(23), in.scalar(24),
                in.array(25), in.array(26), in.array(27), in.scalar(28), in.scalar(29),
                in.scalar(30), r);
  // Outputs 1-3 results 1-3, 4 U_vel, 5-11 results 4-10, 12-14 empty, 15 result 11.
  out.scalar(r[0]);
  out.scalar(r[1]);
  out.scalar(r[2]);
  out.scalar(*in.inout(5));
  for (int k = 3; k < 10; ++k) out.scalar(r[k]);
  out.empty();
  out.empty();
  out.empty();
  out.scalar(r[10]);
}

CCS_MEX_PLUGIN(tracerun_well)

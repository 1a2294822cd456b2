// Host entry of tracerun_plus: 30 inputs, at most 16 outputs.
#include "mex/trajectory_inputs.h"
#include "trajectory/trajectory_driver.h"
#include "trajectory/trajectory_entries.h"

using mexentry::Kind;

static const mexentry::InputSpec tracerun_plus_inputs[] = {
    CCS_TRAJECTORY_COMMON_INPUTS,
    {"seedn", Kind::Scalar},
    {"MobcalHS", Kind::Scalar},
    {"massarray", Kind::Matrix, 150000, 1},
    {"Move_pos", Kind::Protected, 10000000, 3},
    {"cfactor", Kind::Scalar},
};

static const mexentry::Plugin tracerun_plus_plugin = {"tracerun_plus", 30, 16,
                                                      tracerun_plus_inputs};

static void tracerun_plus_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  ccs::trajectory::TrajectoryInputs chk = trajectory_check_fields(in, 26);
  chk.massarray = in.array(27);
  chk.Move_pos = in.array(28);
  ccs::trajectory::trajectory_check_inputs(ccs::trajectory::Variant::Moving, chk);
  rt::RealArray table;
  emxInit_real_T(ctx, table.out(), 2, true);
  double r[11];
  tracerun_plus(ctx, in.scalar(0), in.scalar(1), in.scalar(2), in.scalar(3), in.scalar(4),
                in.inout(5), in.scalar(6), in.scalar(7), in.scalar(8), in.scalar(9),
                in.scalar(10), in.scalar(11), in.scalar(12), in.scalar(13), in.scalar(14),
                in.scalar(15), in.scalar(16), in.scalar(17), in.scalar(18), in.scalar(19),
                in.scalar(20), in.array(21), in.scalar(22), in.scalar(23), in.scalar(24),
                in.scalar(25), in.scalar(26), in.array(27), in.array(28), in.scalar(29),
                table.get(), r);
  out.matrix(table.get());
  trajectory_outputs(out, *in.inout(5), r);
}

CCS_MEX_PLUGIN(tracerun_plus)

// Host entry of tracerun: 27 inputs, at most 16 outputs.
#include "mex/trajectory_inputs.h"
#include "trajectory/trajectory_driver.h"
#include "trajectory/trajectory_entries.h"

using mexentry::Kind;

static const mexentry::InputSpec tracerun_inputs[] = {
    CCS_TRAJECTORY_COMMON_INPUTS,
    {"seedn", Kind::Scalar},
    {"MobcalHS", Kind::Scalar},
};

static const mexentry::Plugin tracerun_plugin = {"tracerun", 27, 16, tracerun_inputs};

static void tracerun_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  ccs::trajectory::TrajectoryInputs chk = trajectory_check_fields(in, 26);
  ccs::trajectory::trajectory_check_inputs(ccs::trajectory::Variant::Fixed, chk);
  rt::RealArray table;
  emxInit_real_T(ctx, table.out(), 2, true);
  double r[11];
  tracerun(ctx, in.scalar(0), in.scalar(1), in.scalar(2), in.scalar(3), in.scalar(4),
           in.inout(5), in.scalar(6), in.scalar(7), in.scalar(8), in.scalar(9), in.scalar(10),
           in.scalar(11), in.scalar(12), in.scalar(13), in.scalar(14), in.scalar(15),
           in.scalar(16), in.scalar(17), in.scalar(18), in.scalar(19), in.scalar(20),
           in.array(21), in.scalar(22), in.scalar(23), in.scalar(24), in.scalar(25),
           in.scalar(26), table.get(), r);
  out.matrix(table.get());
  trajectory_outputs(out, *in.inout(5), r);
}

CCS_MEX_PLUGIN(tracerun)

// Host entry of tracerun_plus: 30 inputs, at most 16 outputs.
#include "mex/trajectory_inputs.h"

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
  ccs::trajectory::PluginInputs p = trajectory_plugin_inputs(in, 25);
  p.massarray = in.array(27);
  p.Move_pos = in.array(28);
  p.cfactor = in.scalar(29);
  rt::RealArray table;
  emxInit_real_T(ctx, table.out(), 2, true);
  double r[11];
  ccs::trajectory::run_plugin(ctx, ccs::trajectory::Variant::Moving, p, table.get(), r);
  out.matrix(table.get());
  trajectory_outputs(out, *in.inout(5), r);
}

CCS_MEX_PLUGIN(tracerun_plus)

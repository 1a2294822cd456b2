// Host entry of tracerun: 27 inputs, at most 16 outputs.
#include "mex/trajectory_inputs.h"

using mexentry::Kind;

static const mexentry::InputSpec tracerun_inputs[] = {
    CCS_TRAJECTORY_COMMON_INPUTS,
    {"seedn", Kind::Scalar},
    {"MobcalHS", Kind::Scalar},
};

static const mexentry::Plugin tracerun_plugin = {"tracerun", 27, 16, tracerun_inputs};

static void tracerun_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  const ccs::trajectory::PluginInputs p = trajectory_plugin_inputs(in, 25);
  rt::RealArray table;
  emxInit_real_T(ctx, table.out(), 2, true);
  double r[11];
  ccs::trajectory::run_plugin(ctx, ccs::trajectory::Variant::Fixed, p, table.get(), r);
  out.matrix(table.get());
  trajectory_outputs(out, *in.inout(5), r);
}

CCS_MEX_PLUGIN(tracerun)

// Host entry of tracerun_well: 31 inputs, at most 15 outputs.
#include "mex/trajectory_inputs.h"

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
  ccs::trajectory::PluginInputs p = trajectory_plugin_inputs(in, 28);
  p.epsili = in.array(25);
  p.sigmai = in.array(26);
  p.sigma2i = in.array(27);
  p.qpol = in.scalar(30);
  double r[11];
  ccs::trajectory::run_plugin(ctx, ccs::trajectory::Variant::Well, p, nullptr, r);
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

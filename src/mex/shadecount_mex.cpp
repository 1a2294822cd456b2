// Host entry of shadecount: 6 inputs, at most 2 outputs.
#include "mex/entry_layer.h"
#include "projection/shadecount.h"

using mexentry::Kind;

static const mexentry::InputSpec shadecount_inputs[] = {
    {"DATA_atoms", Kind::Protected, 150000, 7},
    {"Number_atoms", Kind::Scalar},
    {"r_probe", Kind::Scalar},
    {"n_rotations", Kind::Scalar},
    {"EHSSPA", Kind::Scalar},
    {"seedn", Kind::Scalar},
};

static const mexentry::Plugin shadecount_plugin = {"shadecount", 6, 2, shadecount_inputs};

static void shadecount_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  using namespace ccs::projection;
  const ProjectionParams p =
      plugin_params(in.array(0), in.scalar(1), in.scalar(2), in.scalar(3), in.scalar(5));
  validate(p);
  ProjectionResults res;
  run_projection_method(ctx, p, &res);
  out.scalar(res.mean_area);
  out.scalar(0.0);
}

CCS_MEX_PLUGIN(shadecount)

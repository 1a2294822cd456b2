// Host entry of hardkick: 17 inputs, at most 7 outputs.
#include "hardsphere/hardkick.h"
#include "mex/entry_layer.h"

using mexentry::Kind;

static const mexentry::InputSpec hardkick_inputs[] = {
    {"DATA_atoms", Kind::Matrix, 150000, 7},
    {"Number_atoms", Kind::Scalar},
    {"r_probe", Kind::Scalar},
    {"m_gas", Kind::Scalar},
    {"m_w", Kind::Scalar},
    {"z", Kind::Scalar},
    {"excelsheet", Kind::InOut},
    {"N_total", Kind::Scalar},
    {"n_rotations", Kind::Scalar},
    {"a", Kind::Scalar},
    {"diffusive", Kind::Scalar},
    {"v_c2", Kind::Scalar},
    {"random_C", Kind::Scalar},
    {"p0", Kind::Scalar},
    {"T0", Kind::Scalar},
    {"seedn", Kind::Scalar},
    {"MobcalHS", Kind::Scalar},
};

static const mexentry::Plugin hardkick_plugin = {"hardkick", 17, 7, hardkick_inputs};

static void hardkick_compute(rt::Context* ctx, mexentry::Inputs& in, mexentry::Outputs& out) {
  using namespace ccs::hardsphere;
  HardkickInputs raw;
  raw.DATA_atoms = in.array(0);
  raw.Number_atoms = in.scalar(1);
  raw.r_probe = in.scalar(2);
  raw.m_gas = in.scalar(3);
  raw.m_w = in.scalar(4);
  raw.z = in.scalar(5);
  raw.N_total = in.scalar(7);
  raw.n_rotations = in.scalar(8);
  raw.a = in.scalar(9);
  raw.diffusive = in.scalar(10);
  raw.v_c2 = in.scalar(11);
  raw.random_C = in.scalar(12);
  raw.p0 = in.scalar(13);
  raw.T0 = in.scalar(14);
  raw.seedn = in.scalar(15);
  raw.MobcalHS = in.scalar(16);
  const HardSphereParams p = plugin_params(raw);
  validate(p);
  HardSphereResults res;
  run_hard_sphere_method(ctx, p, &res);
  for (double v : res.r) out.scalar(v);
  out.scalar(*in.inout(6));  // excelsheet, unchanged
  out.empty();
}

CCS_MEX_PLUGIN(hardkick)

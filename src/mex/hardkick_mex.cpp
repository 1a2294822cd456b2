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
  hardkick_check_inputs(in.array(0), in.scalar(1), in.scalar(8), in.scalar(16), in.scalar(7));
  double r[5] = {0, 0, 0, 0, 0};
  hardkick(ctx, in.array(0), in.inout(6), &r[0], &r[1], &r[2], in.scalar(1), in.scalar(2),
           in.scalar(3), in.scalar(4), in.scalar(5), in.scalar(7), in.scalar(8), in.scalar(9),
           in.scalar(10), in.scalar(11), in.scalar(12), in.scalar(13), in.scalar(14),
           in.scalar(15), in.scalar(16), &r[3], &r[4]);
  for (double v : r) out.scalar(v);
  out.scalar(*in.inout(6));
  out.empty();
}

CCS_MEX_PLUGIN(hardkick)

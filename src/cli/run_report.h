// What a run's numbers mean beyond the mean cross section: the principal
// values and axes of the mobility tensor, whether the numbers are a result at
// all, and which atoms took their parameters from the generic fallback.
#pragma once

#include <string>
#include <vector>

#include "cli/params.h"
#include "cli/physics.h"
#include "cli/run.h"
#include "cli/structure.h"

namespace ccs::cli {

// Principal cross sections, mobilities and axes from the 3x3 momentum-transfer
// table `T` (column-major; row r: drift along input axis r) of the three
// axis orientations. Each principal value lambda_k of the symmetric part of T
// gives a cross section by the relation the drivers apply to an orientation's
// transfer, ccs_k = sqrt(0.3581 m_gas / (k T)) lambda_k / rho_g * 1e20 pi / 4
// (Å^2), and a mobility by the Mason-Schamp relation.
TensorResult principal_tensor(const double T[9], double z, double ion_mass_u,
                              const Conditions& c);

// Why the numbers of `r` are not a result, or "" when they are one: no
// finite positive cross section or mobility, a negative mean, or a standard
// error above a third of the mean.
std::string not_a_result_reason(const RunResult& r, bool tensor);

// Elements of `s` that take their entries in `table` from the generic
// fallback, and a note naming them and the atoms (1-based) that used them.
std::vector<std::string> fallback_elements(const Structure& s, const ParamTable& table);
std::string fallback_note(const Structure& s, const ParamTable& table);

}  // namespace ccs::cli

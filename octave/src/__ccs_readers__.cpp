// Host entry through which the Octave functions read what the ccs program
// reads, with the program's own code: structure files (Open Babel plus the
// PQR and .mfj readers), parameter tables, the gas table, element data and
// the physical constants.
//
//   s = __ccs_readers__ ("read", FILE, CHARGES, EQUAL_TOTAL)
//       struct array, one element per structure (conformer, model, frame):
//       file, title, conformer, elements (N x 1 cell), Z, xyz (N x 3, Å),
//       masses (N x 1, u), charges (N x 1, NaN without partial charges)
//   [Z, mass, symbol] = __ccs_readers__ ("elements", SYMBOLS)
//       atomic numbers (0 for an unknown symbol), standard atomic weights (u)
//       and canonical symbols of a cell array of element symbols
//   t = __ccs_readers__ ("params", FILE)
//       a parameter table: kind ("hs" or "lj"), source, elements and either
//       radius (Å) or epsilon_J (J) and sigma_A (Å)
//   g = __ccs_readers__ ("gases", FILE)
//       the gas table: name (cell), mass_u, polarizability_A3
//   c = __ccs_readers__ ("constants")
//       kB, e, eps0, u (SI), standard pressure p_std (Pa) and temperature
//       T_std (K), the negligible fraction of k T at the edge of the entry
//       domain, and the fixed kT (J) of tracerun_well's three-site weights
//   d = __ccs_readers__ ("defaults", METHOD, TENSOR, GAS)
//       the program's defaults of a method (pa, ehss, tm, tm-fixed, lj) in
//       axis-permutation mode or not: orientations, trajectories (per
//       orientation), deltatenhance, multiplier (0 where the method has
//       none), and n2model, the nitrogen model of lj in gas GAS
//   R = __ccs_readers__ ("lj_reach", XYZ, EPSILON_J, SIGMA_A, T)
//       the program's reach (Å, about the centroid) of the Lennard-Jones
//       attraction of the atoms at temperature T (K)
//   old = __ccs_readers__ ("threads", N)
//       sets the OpenMP thread count of the calling thread (the plug-ins'
//       parallel loops; one OpenMP run-time serves the whole process) when
//       N >= 1 and returns the count it had
//
// Errors: "ccs:badFile" (the reader's message, naming the file and line),
// "ccs:badInput" (a wrong call). The work is done in a function whose C++
// objects are gone before mexFunction raises the host error, so no error
// path leaks.
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/params.h"
#include "cli/physics.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/run_setup.h"
#include "trajectory/lj_kernels.h"
#include "cli/structure.h"
#include "mex.h"

namespace {

using ccs::cli::Structure;

// A host string argument, or false when it is not a character row.
bool string_arg(const mxArray* a, std::string* out) {
  if (!mxIsChar(a) || mxGetM(a) > 1) return false;
  char* s = mxArrayToString(a);
  if (s == nullptr) return false;
  *out = s;
  mxFree(s);
  return true;
}

mxArray* column(const std::vector<double>& v) {
  mxArray* a = mxCreateDoubleMatrix(v.size(), 1, mxREAL);
  double* p = mxGetPr(a);
  for (std::size_t i = 0; i < v.size(); ++i) p[i] = v[i];
  return a;
}

mxArray* structures_to_host(const std::vector<Structure>& all) {
  static const char* fields[] = {"file",  "title",  "conformer", "elements",
                                 "Z",     "xyz",    "masses",    "charges"};
  mxArray* out = mxCreateStructMatrix(all.size(), 1, 8, fields);
  for (std::size_t k = 0; k < all.size(); ++k) {
    const Structure& s = all[k];
    const std::size_t n = s.atoms.size();
    mxArray* elements = mxCreateCellMatrix(n, 1);
    mxArray* xyz = mxCreateDoubleMatrix(n, 3, mxREAL);
    std::vector<double> Z(n), mass(n), charge(n);
    double* p = mxGetPr(xyz);
    for (std::size_t i = 0; i < n; ++i) {
      const ccs::cli::Atom& a = s.atoms[i];
      mxSetCell(elements, i, mxCreateString(a.symbol.c_str()));
      p[i] = a.x;
      p[i + n] = a.y;
      p[i + 2 * n] = a.z;
      Z[i] = a.Z;
      mass[i] = a.mass;
      charge[i] = s.has_charges ? a.charge : NAN;
    }
    mxSetField(out, k, "file", mxCreateString(s.file.c_str()));
    mxSetField(out, k, "title", mxCreateString(s.title.c_str()));
    mxSetField(out, k, "conformer", mxCreateDoubleScalar(s.conformer));
    mxSetField(out, k, "elements", elements);
    mxSetField(out, k, "Z", column(Z));
    mxSetField(out, k, "xyz", xyz);
    mxSetField(out, k, "masses", column(mass));
    mxSetField(out, k, "charges", column(charge));
  }
  return out;
}

// Failure of a call: identifier and message, raised by mexFunction once the
// work and every C++ object of it are gone.
const char* g_error_id = "";
char g_error_message[1024] = "";

bool fail(const char* id, const std::string& message) {
  g_error_id = id;
  std::snprintf(g_error_message, sizeof g_error_message, "%s", message.c_str());
  return false;
}

bool read_command(mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  std::string path, charges;
  if (nrhs != 4 || !string_arg(prhs[1], &path) || !string_arg(prhs[2], &charges) ||
      !mxIsDouble(prhs[3]) || mxGetNumberOfElements(prhs[3]) != 1) {
    return fail("ccs:badInput", "__ccs_readers__(\"read\", FILE, CHARGES, EQUAL_TOTAL)");
  }
  try {
    ccs::cli::ReadOptions opt;
    opt.charges = ccs::cli::parse_charge_source(charges);
    opt.equal_charge_total = mxGetScalar(prhs[3]);
    plhs[0] = structures_to_host(ccs::cli::read_structures(path, opt));
  } catch (const std::invalid_argument& e) {
    return fail("ccs:badOption", e.what());
  } catch (const std::exception& e) {
    return fail("ccs:badFile", e.what());
  }
  return true;
}

bool elements_command(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (nrhs != 2 || !mxIsCell(prhs[1])) {
    return fail("ccs:badInput",
                "__ccs_readers__(\"elements\", SYMBOLS): SYMBOLS must be a cell array");
  }
  const mxArray* symbols = prhs[1];
  const std::size_t n = mxGetNumberOfElements(symbols);
  std::vector<std::string> names(n);
  for (std::size_t i = 0; i < n; ++i) {
    const mxArray* c = mxGetCell(symbols, i);
    if (c == nullptr || !string_arg(c, &names[i])) {
      return fail("ccs:badInput", "element symbol " + std::to_string(i + 1) +
                                      " is not a character string");
    }
  }
  mxArray* Z = mxCreateDoubleMatrix(n, 1, mxREAL);
  mxArray* mass = mxCreateDoubleMatrix(n, 1, mxREAL);
  mxArray* canonical = mxCreateCellMatrix(n, 1);
  for (std::size_t i = 0; i < n; ++i) {
    const int z = ccs::cli::element_number(names[i]);
    mxGetPr(Z)[i] = z;
    mxGetPr(mass)[i] = z > 0 ? ccs::cli::standard_atomic_weight(z) : NAN;
    mxSetCell(canonical, i, mxCreateString(z > 0 ? ccs::cli::element_symbol(z).c_str() : ""));
  }
  plhs[0] = Z;
  if (nlhs > 1) plhs[1] = mass; else mxDestroyArray(mass);
  if (nlhs > 2) plhs[2] = canonical; else mxDestroyArray(canonical);
  return true;
}

mxArray* cell_of(const std::vector<std::string>& v) {
  mxArray* c = mxCreateCellMatrix(v.size(), 1);
  for (std::size_t i = 0; i < v.size(); ++i) mxSetCell(c, i, mxCreateString(v[i].c_str()));
  return c;
}

bool params_command(mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  std::string path;
  if (nrhs != 2 || !string_arg(prhs[1], &path)) {
    return fail("ccs:badInput", "__ccs_readers__(\"params\", FILE)");
  }
  try {
    const ccs::cli::ParamTable t = ccs::cli::load_param_table(path);
    std::vector<std::string> el;
    std::vector<double> a, b;
    if (t.kind == ccs::cli::ParamKind::HardSphere) {
      for (const auto& [k, r] : t.radius) {
        el.push_back(k);
        a.push_back(r);
      }
    } else {
      for (const auto& [k, p] : t.lj) {
        el.push_back(k);
        a.push_back(p.epsilon_J);
        b.push_back(p.sigma_A);
      }
    }
    const bool hs = t.kind == ccs::cli::ParamKind::HardSphere;
    static const char* hs_fields[] = {"kind", "source", "elements", "radius"};
    static const char* lj_fields[] = {"kind", "source", "elements", "epsilon_J", "sigma_A"};
    mxArray* out = mxCreateStructMatrix(1, 1, hs ? 4 : 5, hs ? hs_fields : lj_fields);
    mxSetField(out, 0, "kind", mxCreateString(hs ? "hs" : "lj"));
    mxSetField(out, 0, "source", mxCreateString(t.source.c_str()));
    mxSetField(out, 0, "elements", cell_of(el));
    if (hs) {
      mxSetField(out, 0, "radius", column(a));
    } else {
      mxSetField(out, 0, "epsilon_J", column(a));
      mxSetField(out, 0, "sigma_A", column(b));
    }
    plhs[0] = out;
  } catch (const std::exception& e) {
    return fail("ccs:badFile", e.what());
  }
  return true;
}

bool gases_command(mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  std::string path;
  if (nrhs != 2 || !string_arg(prhs[1], &path)) {
    return fail("ccs:badInput", "__ccs_readers__(\"gases\", FILE)");
  }
  try {
    std::vector<std::string> names;
    std::vector<double> mass, alpha;
    for (const ccs::cli::Gas& g : ccs::cli::load_gases(path)) {
      names.push_back(g.name);
      mass.push_back(g.mass_u);
      alpha.push_back(g.polarizability_A3);
    }
    static const char* fields[] = {"name", "mass_u", "polarizability_A3"};
    mxArray* out = mxCreateStructMatrix(1, 1, 3, fields);
    mxSetField(out, 0, "name", cell_of(names));
    mxSetField(out, 0, "mass_u", column(mass));
    mxSetField(out, 0, "polarizability_A3", column(alpha));
    plhs[0] = out;
  } catch (const std::exception& e) {
    return fail("ccs:badFile", e.what());
  }
  return true;
}

mxArray* constants() {
  static const char* fields[] = {"kB",    "e",     "eps0",       "u",
                                 "p_std", "T_std", "negligible", "three_site_plugin_kT"};
  mxArray* out = mxCreateStructMatrix(1, 1, 8, fields);
  mxSetField(out, 0, "kB", mxCreateDoubleScalar(ccs::cli::kBoltzmann));
  mxSetField(out, 0, "e", mxCreateDoubleScalar(ccs::cli::kElementary));
  mxSetField(out, 0, "eps0", mxCreateDoubleScalar(ccs::cli::kEpsilon0));
  mxSetField(out, 0, "u", mxCreateDoubleScalar(ccs::cli::kAtomicMass));
  mxSetField(out, 0, "p_std", mxCreateDoubleScalar(ccs::cli::kStandardPressure));
  mxSetField(out, 0, "T_std", mxCreateDoubleScalar(ccs::cli::kStandardTemperature));
  mxSetField(out, 0, "negligible", mxCreateDoubleScalar(ccs::cli::kNegligibleEnergyFraction));
  mxSetField(out, 0, "three_site_plugin_kT", mxCreateDoubleScalar(ccs::kThreeSitePluginKT));
  return out;
}

bool real_matrix(const mxArray* a, std::size_t rows, std::size_t cols) {
  return mxIsDouble(a) && !mxIsComplex(a) && !mxIsSparse(a) && mxGetM(a) == rows &&
         mxGetN(a) == cols;
}

bool lj_reach_command(mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  const std::size_t n = nrhs == 5 ? mxGetM(prhs[1]) : 0;
  if (nrhs != 5 || n == 0 || !real_matrix(prhs[1], n, 3) || !real_matrix(prhs[2], n, 1) ||
      !real_matrix(prhs[3], n, 1) || !real_matrix(prhs[4], 1, 1)) {
    return fail("ccs:badInput",
                "__ccs_readers__(\"lj_reach\", XYZ (N x 3), EPSILON_J (N x 1), SIGMA_A (N x 1), T)");
  }
  const double* xyz = mxGetPr(prhs[1]);
  const double* eps = mxGetPr(prhs[2]);
  const double* sigma = mxGetPr(prhs[3]);
  std::vector<ccs::cli::LjCentre> centres(n);
  for (std::size_t i = 0; i < n; ++i) {
    centres[i] = {xyz[i], xyz[i + n], xyz[i + 2 * n], eps[i], sigma[i]};
  }
  plhs[0] = mxCreateDoubleScalar(ccs::cli::lennard_jones_reach(centres, mxGetScalar(prhs[4])));
  return true;
}

bool defaults_command(mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  std::string method, gas;
  if (nrhs != 4 || !string_arg(prhs[1], &method) ||
      !(mxIsNumeric(prhs[2]) || mxIsLogical(prhs[2])) ||
      mxGetNumberOfElements(prhs[2]) != 1 || !string_arg(prhs[3], &gas)) {
    return fail("ccs:badInput", "__ccs_readers__(\"defaults\", METHOD, TENSOR, GAS)");
  }
  try {
    ccs::cli::RunSettings common;
    common.tensor = mxGetScalar(prhs[2]) != 0.0;
    common.weighted_entry = false;  // the plug-ins enter uniformly
    const ccs::cli::RunSettings st =
        ccs::cli::settings_for(ccs::cli::parse_method(method), common, ccs::cli::Numerics{});
    static const char* fields[] = {"orientations", "trajectories", "deltatenhance", "multiplier",
                                   "n2model"};
    mxArray* out = mxCreateStructMatrix(1, 1, 5, fields);
    mxSetField(out, 0, "orientations", mxCreateDoubleScalar(st.numerics.orientations));
    mxSetField(out, 0, "trajectories", mxCreateDoubleScalar(st.numerics.trajectories));
    mxSetField(out, 0, "deltatenhance", mxCreateDoubleScalar(st.numerics.deltatenhance));
    mxSetField(out, 0, "multiplier", mxCreateDoubleScalar(st.numerics.multiplier));
    mxSetField(out, 0, "n2model", mxCreateString(ccs::cli::default_n2_model(gas)));
    plhs[0] = out;
  } catch (const std::exception& e) {
    return fail("ccs:badInput", e.what());
  }
  return true;
}

bool entry(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  std::string command;
  if (nrhs < 1 || !string_arg(prhs[0], &command)) {
    return fail("ccs:badInput", "__ccs_readers__: the first input must be a command (read, "
                                "elements, params, gases, constants, defaults, lj_reach, "
                                "threads)");
  }
  if (command == "read") return read_command(plhs, nrhs, prhs);
  if (command == "elements") return elements_command(nlhs, plhs, nrhs, prhs);
  if (command == "params") return params_command(plhs, nrhs, prhs);
  if (command == "gases") return gases_command(plhs, nrhs, prhs);
  if (command == "lj_reach") return lj_reach_command(plhs, nrhs, prhs);
  if (command == "defaults") return defaults_command(plhs, nrhs, prhs);
  if (command == "threads" && nrhs == 2 && mxIsDouble(prhs[1]) &&
      mxGetNumberOfElements(prhs[1]) == 1) {
    const double n = mxGetScalar(prhs[1]);
    const int old = omp_get_max_threads();
    if (n >= 1 && n <= 4096) omp_set_num_threads(static_cast<int>(n));
    plhs[0] = mxCreateDoubleScalar(old);
    return true;
  }
  if (command == "constants" && nrhs == 1) {
    plhs[0] = constants();
    return true;
  }
  return fail("ccs:badInput", "__ccs_readers__: unknown command \"" + command +
                                  "\" (read, elements, params, gases, constants, defaults, lj_reach, threads)");
}

}  // namespace

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
  if (!entry(nlhs, plhs, nrhs, prhs)) mexErrMsgIdAndTxt(g_error_id, "%s", g_error_message);
}

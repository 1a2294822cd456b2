// ccs._core: the ccs program's library for Python. Structures (from files or
// from arrays), the gas and parameter tables, the mobility relations and one
// run of a method. The pure-Python package (python/ccs) wraps it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/params.h"
#include "cli/physics.h"
#include "cli/readers.h"
#include "cli/run.h"
#include "cli/run_setup.h"
#include "python/run_binding.h"
#include "runtime/context.h"

namespace py = pybind11;
using namespace ccs::cli;

namespace {

using Matrix = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Errors of a call that reads `path`: a missing file or a folder becomes the
// matching OSError, with the library's message.
template <class F>
auto reading(const std::string& path, F&& f) {
  try {
    return f();
  } catch (const InputError& e) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      PyErr_SetString(PyExc_IsADirectoryError, e.what());
    } else if (!std::filesystem::exists(path, ec)) {
      PyErr_SetString(PyExc_FileNotFoundError, e.what());
    } else {
      throw;
    }
    throw py::error_already_set();
  }
}

// Raises FileNotFoundError for the first path that does not exist, with the
// message the library gives for it.
void raise_if_missing(const std::string& path, const std::string& message) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    PyErr_SetString(PyExc_FileNotFoundError, (path + ": " + message).c_str());
    throw py::error_already_set();
  }
}

py::array_t<double> column_array(const Structure& s, double Atom::*field) {
  py::array_t<double> a(static_cast<py::ssize_t>(s.atoms.size()));
  auto m = a.mutable_unchecked<1>();
  for (std::size_t i = 0; i < s.atoms.size(); ++i) m(static_cast<py::ssize_t>(i)) = s.atoms[i].*field;
  return a;
}

py::array_t<double> coordinates_of(const Structure& s) {
  py::array_t<double> a({static_cast<py::ssize_t>(s.atoms.size()), py::ssize_t{3}});
  auto m = a.mutable_unchecked<2>();
  for (std::size_t i = 0; i < s.atoms.size(); ++i) {
    const auto r = static_cast<py::ssize_t>(i);
    m(r, 0) = s.atoms[i].x;
    m(r, 1) = s.atoms[i].y;
    m(r, 2) = s.atoms[i].z;
  }
  return a;
}

std::size_t atom_rows(const Matrix& xyz) {
  if (xyz.ndim() != 2 || xyz.shape(1) != 3) {
    std::string shape;
    for (py::ssize_t d = 0; d < xyz.ndim(); ++d) shape += (d ? ", " : "") + std::to_string(xyz.shape(d));
    throw std::invalid_argument("coordinates must be an N x 3 array (Å), not one of shape (" +
                                shape + ")");
  }
  return static_cast<std::size_t>(xyz.shape(0));
}

std::vector<double> per_atom(const std::optional<Matrix>& v, std::size_t n, const char* what) {
  if (!v) return {};
  if (v->ndim() != 1 || static_cast<std::size_t>(v->shape(0)) != n) {
    throw std::invalid_argument(std::string(what) + " must be a 1-D array of one value per atom (" +
                                std::to_string(n) + ")");
  }
  return std::vector<double>(v->data(), v->data() + n);
}

void set_coordinates(Structure& s, const Matrix& xyz) {
  auto m = xyz.unchecked<2>();
  for (std::size_t i = 0; i < s.atoms.size(); ++i) {
    const auto r = static_cast<py::ssize_t>(i);
    s.atoms[i].x = m(r, 0);
    s.atoms[i].y = m(r, 1);
    s.atoms[i].z = m(r, 2);
  }
}

using Element = std::variant<int, std::string>;

// A structure from arrays: coordinates (Å), element symbols or atomic
// numbers, optional partial charges and masses (u; default: standard atomic
// weights).
Structure structure_from_arrays(const Matrix& xyz, const std::vector<Element>& elements,
                                const std::optional<Matrix>& charges,
                                const std::optional<Matrix>& masses, const std::string& title,
                                const std::string& file) {
  const std::size_t n = atom_rows(xyz);
  if (elements.size() != n) {
    throw std::invalid_argument("elements: " + std::to_string(elements.size()) + " given for " +
                                std::to_string(n) + " atoms");
  }
  const std::vector<double> q = per_atom(charges, n, "charges");
  const std::vector<double> m = per_atom(masses, n, "masses");
  Structure s;
  s.file = file;
  s.title = title;
  s.atoms.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    Atom& a = s.atoms[i];
    if (const int* Z = std::get_if<int>(&elements[i])) {
      a.Z = *Z > 0 && *Z < 119 ? *Z : 0;
      a.symbol = a.Z > 0 ? element_symbol(a.Z) : std::to_string(*Z);
    } else {
      const std::string& sym = std::get<std::string>(elements[i]);
      a.Z = element_number(sym);
      a.symbol = a.Z > 0 ? element_symbol(a.Z) : sym;
    }
    a.mass = !m.empty() ? m[i] : a.Z > 0 ? standard_atomic_weight(a.Z) : NAN;
    a.charge = !q.empty() ? q[i] : NAN;
  }
  s.has_charges = !q.empty();
  set_coordinates(s, xyz);
  validate_structure(s);
  return s;
}

py::dict numerics_dict(const Numerics& n) {
  py::dict d;
  d["orientations"] = n.orientations;
  d["trajectories_per_orientation"] = n.trajectories;
  d["deltatenhance"] = n.deltatenhance;
  d["multiplier"] = n.multiplier;
  d["boxdomain"] = n.boxdomain;
  d["entry_radius_A"] = n.entry_radius;
  return d;
}

py::dict result_dict(const RunResult& r) {
  py::dict d;
  d["ccs"] = r.ccs;
  d["ccs_se"] = r.ccs_se;
  d["K"] = r.K;
  d["K0"] = r.K0;
  d["charge"] = r.z;
  d["mass"] = r.mass;
  d["orientations"] = r.orientations;
  d["orientations_used"] = r.orientations_used;
  d["trajectories"] = r.trajectories;
  d["seconds"] = r.seconds;
  d["per_orientation"] = py::array_t<double>(static_cast<py::ssize_t>(r.per_orientation.size()),
                                             r.per_orientation.data());
  d["numerics"] = numerics_dict(r.numerics);
  d["warnings"] = r.warnings;
  d["notes"] = r.notes;
  d["gas_model"] = r.gas_model.empty() ? py::object(py::none()) : py::object(py::str(r.gas_model));
  d["lj_model"] = r.lj_model.empty() ? py::object(py::none()) : py::object(py::str(r.lj_model));
  d["orientation_temperature_K"] = std::isfinite(r.orientation_temperature)
                                       ? py::object(py::float_(r.orientation_temperature))
                                       : py::object(py::none());
  return d;
}

Conditions conditions_of(const Gas& gas, double temperature, double pressure) {
  Conditions c;
  c.gas = gas;
  c.temperature = temperature;
  c.pressure = pressure;
  return c;
}

void translate_errors(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const InputError& e) {
    PyErr_SetString(PyExc_ValueError, e.what());
  } catch (const rt::Error& e) {
    if (e.id() == rt::kInterruptedId) {
      PyErr_SetString(PyExc_KeyboardInterrupt, e.what());
    } else if (e.id().find("badInput") != std::string::npos) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } else {
      PyErr_SetString(PyExc_RuntimeError, e.what());
    }
  }
}

}  // namespace

namespace {

// Structures: arrays in and out, reading files.
void bind_structures(py::module_& m) {
  py::class_<Structure>(m, "Structure", R"(A molecular ion: atoms with element, coordinates (Å),
mass (u) and optional partial charges (elementary charges).

Structure(coordinates, elements, charges=None, masses=None, title="") makes one
from arrays: coordinates an N x 3 array, elements N symbols or atomic numbers,
masses by default the standard atomic weights. ccs.read(path) reads them from
files.)")
      .def(py::init([](const Matrix& xyz, const std::vector<Element>& elements,
                       const std::optional<Matrix>& charges, const std::optional<Matrix>& masses,
                       const std::string& title, const std::string& file) {
             return structure_from_arrays(xyz, elements, charges, masses, title, file);
           }),
           py::arg("coordinates"), py::arg("elements"), py::arg("charges") = py::none(),
           py::arg("masses") = py::none(), py::arg("title") = "", py::arg("file") = "arrays")
      .def_readonly("file", &Structure::file, "the file it was read from")
      .def_readonly("title", &Structure::title)
      .def_readonly("conformer", &Structure::conformer,
                    "1-based index of the structure (conformer, model, frame) within its file")
      .def_readonly("has_charges", &Structure::has_charges, "every atom carries a partial charge")
      .def_readonly("n_frames", &Structure::n_frames, "stored frames (moving-atom method)")
      .def_property_readonly("coordinates", &coordinates_of, "N x 3 array of coordinates (Å)")
      .def_property_readonly("elements",
                             [](const Structure& s) {
                               std::vector<std::string> e;
                               for (const Atom& a : s.atoms) e.push_back(a.symbol);
                               return e;
                             },
                             "element symbols")
      .def_property_readonly("atomic_numbers",
                             [](const Structure& s) {
                               py::array_t<int> a(static_cast<py::ssize_t>(s.atoms.size()));
                               for (std::size_t i = 0; i < s.atoms.size(); ++i) {
                                 a.mutable_at(static_cast<py::ssize_t>(i)) = s.atoms[i].Z;
                               }
                               return a;
                             })
      .def_property_readonly("masses", [](const Structure& s) { return column_array(s, &Atom::mass); },
                             "atomic masses (u)")
      .def_property_readonly("charges",
                             [](const Structure& s) -> py::object {
                               if (!s.has_charges) return py::none();
                               return column_array(s, &Atom::charge);
                             },
                             "partial charges (elementary charges), or None")
      .def_property_readonly("mass", &Structure::mass, "total mass (u)")
      .def_property_readonly("charge_sum", &Structure::charge_sum, "sum of the partial charges")
      .def(
          "with_coordinates",
          [](const Structure& s, const Matrix& xyz, std::optional<std::string> title,
             std::optional<int> conformer) {
            if (atom_rows(xyz) != s.atoms.size()) {
              throw std::invalid_argument("coordinates: " + std::to_string(xyz.shape(0)) +
                                          " rows for " + std::to_string(s.atoms.size()) + " atoms");
            }
            Structure c = s;
            set_coordinates(c, xyz);
            c.frames_xyz.clear();
            c.n_frames = 1;
            if (title) c.title = *title;
            if (conformer) c.conformer = *conformer;
            validate_structure(c);
            return c;
          },
          py::arg("coordinates"), py::arg("title") = py::none(), py::arg("conformer") = py::none(),
          "A copy with other coordinates (N x 3, Å): the same atoms in another frame.")
      .def("__len__", [](const Structure& s) { return s.atoms.size(); })
      .def("__repr__", [](const Structure& s) {
        return "<ccs.Structure " + s.file + "#" + std::to_string(s.conformer) + " '" + s.title +
               "': " + std::to_string(s.atoms.size()) + " atoms" +
               (s.has_charges ? ", charges" : "") + ">";
      });

  m.def(
      "read",
      [](const std::string& path, const std::string& charges, double equal_charge) {
        ReadOptions o;
        o.charges = parse_charge_source(charges);
        o.equal_charge_total = equal_charge;
        return reading(path, [&] { return read_structures(path, o); });
      },
      py::arg("path"), py::arg("charges") = "file", py::arg("equal_charge") = 1.0);
  m.def("join_frames", &join_frames, py::arg("conformers"));

}

// Gases and parameter tables.
void bind_tables(py::module_& m) {
  py::class_<Gas>(m, "Gas", "A buffer gas: name, molecular mass (u), polarizability volume (Å^3).")
      .def(py::init([](std::string name, double mass_u, double alpha) {
             return Gas{std::move(name), mass_u, alpha};
           }),
           py::arg("name"), py::arg("mass_u"), py::arg("polarizability_A3"))
      .def_readonly("name", &Gas::name)
      .def_readonly("mass_u", &Gas::mass_u)
      .def_readonly("polarizability_A3", &Gas::polarizability_A3)
      .def("__repr__", [](const Gas& g) {
        return "<ccs.Gas " + g.name + ": " + std::to_string(g.mass_u) + " u, " +
               std::to_string(g.polarizability_A3) + " Å^3>";
      });
  py::class_<ParamTable>(m, "ParamTable", "Per-element parameters of one kind, with their sources.")
      .def_property_readonly("kind",
                             [](const ParamTable& t) {
                               return t.kind == ParamKind::HardSphere ? "hs" : "lj";
                             })
      .def_readonly("source", &ParamTable::source)
      .def_readonly("radius", &ParamTable::radius, "hs: element -> collision radius (Å)")
      .def_property_readonly(
          "lj",
          [](const ParamTable& t) {
            std::map<std::string, std::pair<double, double>> d;
            for (const auto& [k, v] : t.lj) d[k] = {v.epsilon_J, v.sigma_A};
            return d;
          },
          "lj: element -> (epsilon of the atom-gas pair in J, sigma in Å)");
  py::class_<GasTables>(m, "GasTables")
      .def_readonly("hard_sphere", &GasTables::hard_sphere)
      .def_readonly("lennard_jones", &GasTables::lennard_jones)
      .def_property_readonly("sources", &GasTables::sources);
  m.def("params_dir", &params_dir);
  m.def(
      "find_gas",
      [](const std::string& dir, const std::string& name) {
        raise_if_missing(dir + "/gases.tsv", "no such file");
        return find_gas(dir, name);
      },
      py::arg("dir"), py::arg("name"));
  m.def(
      "load_gas_tables",
      [](const std::string& dir, const std::string& gas, const std::vector<std::string>& extra) {
        for (const std::string& f : extra) raise_if_missing(f, "cannot open the parameter file");
        return load_gas_tables(dir, gas, extra);
      },
      py::arg("dir"), py::arg("gas"), py::arg("extra") = std::vector<std::string>());
  m.def(
      "load_param_table",
      [](const std::string& path) { return reading(path, [&] { return load_param_table(path); }); },
      py::arg("path"));

}

// The methods built in and the program's defaults.
void bind_defaults(py::module_& m) {
  m.def("methods", [] {
    std::vector<std::string> v;
    for (Method x : {Method::PA, Method::EHSS, Method::TM, Method::TMFixed, Method::LJ}) {
      if (method_available(x)) v.push_back(method_name(x));
    }
    return v;
  });
  const Conditions defaults;
  const RunSettings run_defaults;
  py::dict d;
  d["method"] = default_method_name();
  d["gas"] = kDefaultGas;
  d["temperature"] = defaults.temperature;
  d["pressure"] = defaults.pressure;
  d["accommodation"] = run_defaults.accommodation;
  d["reemission"] = run_defaults.cosine ? "cosine" : "specular";
  d["maxwell"] = run_defaults.maxwell;
  d["n2_model"] = py::none();  // the gas's own: see default_n2_model
  m.attr("DEFAULTS") = d;
  m.def("default_n2_model", [](const std::string& gas) { return std::string(default_n2_model(gas)); },
        py::arg("gas"), "The nitrogen model of lj when none is asked for, for the gas named.");

}

// The mobility relations.
void bind_relations(py::module_& m) {
  m.def(
      "mobility_from_ccs",
      [](double ccs, double z, double mass_u, const Gas& g, double T, double p) {
        return mobility_from_ccs(ccs, z, mass_u, conditions_of(g, T, p));
      },
      py::arg("ccs"), py::arg("charge"), py::arg("mass"), py::arg("gas"), py::arg("temperature"),
      py::arg("pressure"));
  m.def(
      "ccs_from_mobility",
      [](double K, double z, double mass_u, const Gas& g, double T, double p) {
        return ccs_from_mobility(K, z, mass_u, conditions_of(g, T, p));
      },
      py::arg("K"), py::arg("charge"), py::arg("mass"), py::arg("gas"), py::arg("temperature"),
      py::arg("pressure"));
  m.def(
      "reduced_mobility",
      [](double K, double T, double p) {
        Conditions c;
        c.temperature = T;
        c.pressure = p;
        return reduced_mobility(K, c);
      },
      py::arg("K"), py::arg("temperature"), py::arg("pressure"));

}

// Runs of a method.
void bind_runs(py::module_& m) {
  py::class_<Numerics>(m, "Numerics", "Statistics and step settings; 0 selects the method's default.")
      .def(py::init<>())
      .def_readwrite("orientations", &Numerics::orientations)
      .def_readwrite("trajectories", &Numerics::trajectories)
      .def_readwrite("deltatenhance", &Numerics::deltatenhance)
      .def_readwrite("multiplier", &Numerics::multiplier)
      .def_readwrite("boxdomain", &Numerics::boxdomain);
  m.def(
      "run",
      [](const Structure& s, const std::string& method, const Gas& gas, const GasTables& tables,
         double temperature, double pressure, double charge, const Numerics& numerics,
         bool tensor, double accommodation, bool cosine, bool maxwell, bool three_site,
         std::uint32_t seed, int threads, py::object progress) {
        RunSettings common;
        common.conditions = conditions_of(gas, temperature, pressure);
        common.tensor = tensor;
        common.accommodation = accommodation;
        common.cosine = cosine;
        common.maxwell = maxwell;
        common.three_site = three_site;
        common.seed = seed;
        common.charge = charge;
        common.hard_sphere = &tables.hard_sphere;
        common.lennard_jones = &tables.lennard_jones;
        const Method mt = parse_method(method);
        if (!method_available(mt)) {
          throw std::invalid_argument("method " + method + " is not built into this module");
        }
        return result_dict(ccs::python::run_interruptibly(s, settings_for(mt, common, numerics),
                                                          threads, progress));
      },
      py::arg("structure"), py::arg("method"), py::arg("gas"), py::arg("tables"),
      py::arg("temperature"), py::arg("pressure"), py::arg("charge"), py::arg("numerics"),
      py::arg("tensor"), py::arg("accommodation"), py::arg("cosine"), py::arg("maxwell"),
      py::arg("three_site"), py::arg("seed"), py::arg("threads"), py::arg("progress"),
      "One run of a method (see ccs.compute); the GIL is released while it runs.");
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The ccs program's library: structures, parameter tables, runs of a method.";
  py::register_exception_translator(translate_errors);
  bind_structures(m);
  bind_tables(m);
  bind_defaults(m);
  bind_relations(m);
  bind_runs(m);
}

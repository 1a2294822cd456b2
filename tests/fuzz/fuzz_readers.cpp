// Fuzz target for the structure readers of the ccs program: arbitrary bytes
// as a file of each format (our own .pqr and .mfj readers, and the formats
// read through Open Babel), read with each charge source.
//
// Besides crashes, sanitizer reports and leaks (Open Babel's own are
// suppressed), a run fails when one of our readers reports bad input other
// than by an InputError naming the file, or returns a structure the
// methods cannot take.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cli/readers.h"

namespace {

#define FUZZ_REQUIRE(cond)                                                              \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

const char* const kExtensions[] = {"pqr", "mfj", "xyz", "pdb", "mol2", "sdf"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const std::string ext = fdp.PickValueInArray(kExtensions);
  const bool ours = ext == "pqr" || ext == "mfj";
  ccs::cli::ReadOptions opt;
  opt.charges = fdp.PickValueInArray({ccs::cli::ChargeSource::File, ccs::cli::ChargeSource::None,
                                      ccs::cli::ChargeSource::Gasteiger});
  opt.equal_charge_total = fdp.ConsumeFloatingPoint<double>();
  const std::string content = fdp.ConsumeRemainingBytesAsString();
  const std::string path = "/tmp/ccs_fuzz_readers_" + std::to_string(getpid()) + "." + ext;
  {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
  }
  try {
    const std::vector<ccs::cli::Structure> s = ccs::cli::read_structures(path, opt);
    FUZZ_REQUIRE(!s.empty());
    for (const ccs::cli::Structure& c : s) {
      FUZZ_REQUIRE(!c.atoms.empty() && c.atoms.size() <= ccs::cli::kMaxAtoms);
      for (const ccs::cli::Atom& a : c.atoms) {
        FUZZ_REQUIRE(std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z));
        FUZZ_REQUIRE(a.Z > 0 && std::isfinite(a.mass) && a.mass > 0);
      }
    }
    try {
      (void)ccs::cli::join_frames(s);
    } catch (const ccs::cli::InputError&) {
    }
  } catch (const ccs::cli::InputError& e) {
    FUZZ_REQUIRE(std::string(e.what()).find(path) != std::string::npos);
  } catch (const std::exception& e) {
    // Open Babel's formats may fail in their own ways; ours may not.
    if (ours) std::fprintf(stderr, "%s reader: %s\n", ext.c_str(), e.what());
    FUZZ_REQUIRE(!ours);
  }
  std::remove(path.c_str());
  return 0;
}

// Deliberate faults, one per sanitizer, run by the sanitized configurations
// with the sanitizer's report as the expected output: they show that a
// report is produced and reaches the test runner (a sanitizer that is not
// active, or an OpenMP run-time that hides the race, fails the canary).
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/context.h"
#include "runtime/parallel.h"

int main(int argc, char** argv) {
  const char* fault = argc > 1 ? argv[1] : "";
  if (std::strcmp(fault, "race") == 0) {
    // Two threads of a parallel region write one shared double.
    rt::RootContext root;
    double shared = 0.0;
    omp_set_num_threads(2);
    rt::parallel_blocks(root.get(), 2, [&](rt::Context&, int begin, int end) {
      for (int k = begin; k < end; ++k) shared += k;
    });
    std::printf("%g\n", shared);
  } else if (std::strcmp(fault, "overflow") == 0) {
    // One element read past a heap block of 4 (the index comes from the
    // command line so that the compiler cannot see the fault).
    const int index = argc > 2 ? std::atoi(argv[2]) : 0;
    double* p = static_cast<double*>(std::calloc(4, sizeof(double)));
    std::printf("%g\n", p[index]);
    std::free(p);
  } else if (std::strcmp(fault, "cast") == 0) {
    // A NaN count converted to int.
    volatile double count = std::strtod("nan", nullptr);
    std::printf("%d\n", static_cast<int>(count));
  }
  return 0;
}

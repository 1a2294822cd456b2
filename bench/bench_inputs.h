// Where the program benchmarks find their molecules: the shipped examples,
// and ubiquitin (1ubq.pdb) from CCS_DATA_DIR, else ../shared/data beside the
// source tree. CCS_SOURCE_DIR is defined by the benchmark's target.
#pragma once

#include <cstdlib>
#include <string>

inline std::string example(const char* name) { return std::string(CCS_SOURCE_DIR) + "/examples/" + name; }

inline std::string ubiquitin() {
  const char* d = std::getenv("CCS_DATA_DIR");
  return std::string(d != nullptr ? d : CCS_SOURCE_DIR "/../shared/data") + "/1ubq.pdb";
}

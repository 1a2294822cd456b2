#include "runtime/wait_policy.h"

#include <cstring>
#include <initializer_list>

namespace rt {

bool wants_default_wait_policy(char* const* envp) {
  if (envp == nullptr) return true;
  for (char* const* e = envp; *e != nullptr; ++e) {
    for (const char* name : {"OMP_WAIT_POLICY=", "GOMP_SPINCOUNT=", "KMP_BLOCKTIME="}) {
      if (std::strncmp(*e, name, std::strlen(name)) == 0) return false;
    }
  }
  return true;
}

}  // namespace rt

// Linked into an executable, never a library (only an executable's
// pre-initialisers run, and they run before any library is initialised):
// the program's default wait policy (wait_policy.h). When the environment
// chooses none, the program starts itself once more (same process, same
// arguments) with the default settings added; if that cannot be done it
// runs on with the run-time's own default.
#include <unistd.h>

#include <cstdlib>

#include "runtime/wait_policy.h"

namespace {

void preinit_wait_policy(int, char** argv, char** envp) {
  if (!rt::wants_default_wait_policy(envp)) return;
  int n = 0;
  while (envp != nullptr && envp[n] != nullptr) ++n;
  auto** env = static_cast<char**>(std::malloc(sizeof(char*) * (static_cast<std::size_t>(n) + 3)));
  if (env == nullptr) return;
  for (int i = 0; i < n; ++i) env[i] = envp[i];
  env[n] = const_cast<char*>(rt::kDefaultSpinCount);
  env[n + 1] = const_cast<char*>(rt::kDefaultBlockTime);
  env[n + 2] = nullptr;
  execve("/proc/self/exe", argv, env);
  std::free(env);  // not replaced: run on as we are
}

__attribute__((section(".preinit_array"), used)) void (*const preinit_entry)(int, char**, char**) =
    &preinit_wait_policy;

}  // namespace

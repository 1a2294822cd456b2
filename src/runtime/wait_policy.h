// The program's default OpenMP wait: a thread that waits at the end of a
// parallel region spins briefly (about 0.1 ms) and then sleeps, instead of
// spinning for milliseconds (the GNU run-time's default: an idle thread of a
// program that alternates parallel and serial work burns up to half a core),
// so that on a machine whose other cores are busy a waiting thread does not
// take the time the working ones need. The run-time reads its settings once,
// when it is loaded, before any code of the program runs; so an executable
// that links src/cli/wait_policy_preinit.cpp starts itself once more with the
// settings in its environment (a pre-initialiser, before any library is
// initialised).
#pragma once

namespace rt {

inline constexpr const char* kDefaultSpinCount = "GOMP_SPINCOUNT=10000";  // spins
inline constexpr const char* kDefaultBlockTime = "KMP_BLOCKTIME=1";       // ms (LLVM run-time)

// True when the environment (a null-terminated array of "NAME=value")
// chooses no wait policy: none of OMP_WAIT_POLICY, GOMP_SPINCOUNT and
// KMP_BLOCKTIME is set. A user setting wins.
bool wants_default_wait_policy(char* const* envp);

}  // namespace rt

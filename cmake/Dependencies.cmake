# OpenMP from the compiler, OpenBLAS (its OpenMP build when installed, so that
# it runs single-threaded inside our parallel regions), LAPACKE.
find_package(OpenMP REQUIRED COMPONENTS CXX)

# The OpenMP build of OpenBLAS uses GCC's runtime (libgomp). A clang build
# (the thread-sanitizer and fuzzing configurations) runs on LLVM's runtime, so
# it takes the pthread build, which brings no second OpenMP runtime into the
# process; the tests run it with OPENBLAS_NUM_THREADS=1.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(CCS_OPENBLAS_VARIANT openblas-pthread)
else()
  set(CCS_OPENBLAS_VARIANT openblas-openmp)
endif()
find_library(CCS_OPENBLAS_LIB
  NAMES openblas libopenblas.so.0
  PATHS /usr/lib/x86_64-linux-gnu/${CCS_OPENBLAS_VARIANT}
        /usr/lib/aarch64-linux-gnu/${CCS_OPENBLAS_VARIANT}
  NO_DEFAULT_PATH)
if(NOT CCS_OPENBLAS_LIB)
  find_library(CCS_OPENBLAS_LIB NAMES openblas)
endif()
if(NOT CCS_OPENBLAS_LIB)
  message(FATAL_ERROR "OpenBLAS not found: install libopenblas0-openmp and libopenblas-dev")
endif()
find_library(CCS_LAPACKE_LIB NAMES lapacke)
find_path(CCS_LAPACKE_INCLUDE lapacke.h)
if(NOT CCS_LAPACKE_LIB OR NOT CCS_LAPACKE_INCLUDE)
  message(FATAL_ERROR "LAPACKE not found: install liblapacke-dev")
endif()
message(STATUS "BLAS: ${CCS_OPENBLAS_LIB}; LAPACKE: ${CCS_LAPACKE_LIB}")

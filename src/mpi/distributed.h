// The ccs program over MPI ranks: `mpirun -n R ccs [options] FILE...`.
// Every rank reads the files; rank 0 hands out work units (a chunk of the
// orientations of one run: structure, method, first orientation, count) to
// whichever rank asks, computes units itself on a thread of its own,
// assembles each run from its chunks, and alone writes the output, the
// progress line, the notes and the checkpoint.
#pragma once

namespace ccs::mpi {

// True when an MPI launcher (mpirun, mpiexec, srun with PMIx) started
// this process: the program then runs distributed.
bool launched_by_mpi();

// The program's main over every rank of MPI_COMM_WORLD; returns the exit
// status (the same on every rank).
int run_distributed(int argc, char** argv);

}  // namespace ccs::mpi

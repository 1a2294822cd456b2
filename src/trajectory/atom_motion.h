// How the atoms take part in a collision: fixed and infinitely heavy, or
// moving with velocities taken from stored molecular-dynamics frames. The
// atoms' positions for the distance checks are always the molecule's
// coordinates; frames give velocities only.
#pragma once

#include "trajectory/collision_response.h"
#include "trajectory/trajectory_records.h"

namespace ccs::trajectory {

struct FixedAtoms {
  void at_distance_check(double /*t*/) {}
  // Null: the non-diffuse law is the specular reflection.
  const MovingAtom* impact(int /*j*/) { return nullptr; }
};

// Atom velocities from the frame pair (f - 1, f), 1 fs apart. The frame
// advances by at most one per distance check; past the last frame it starts
// again at the pair (1, 2). With fewer than two stored frames the atoms are
// at rest.
class MovingAtoms {
 public:
  MovingAtoms(const Molecule& mol, double m_gas) : mol_(mol) {
    atom_.massarray = mol.massarray;
    atom_.N = mol.N;
    atom_.cfactor = mol.cfactor;
    atom_.m_gm = m_gas * 6.022e23 * 1000.0;
    two_frames_ = mol.N > 0 && mol.Move_pos != nullptr &&
                  static_cast<long long>(mol.move_rows) >= 2LL * mol.N;
  }

  double m_gm() const { return atom_.m_gm; }

  void at_distance_check(double t) {
    if (t < static_cast<double>(f_) * 1e-15) {
      if (t <= 1e-15) use_pair(2);
    } else {
      ++f_;
      if (static_cast<long long>(f_) * mol_.N > mol_.move_rows) {
        f_ = 2;
        use_pair(2);
      } else {
        use_pair(f_);
      }
    }
  }

  // The struck atom j (0-based) with its current velocity.
  const MovingAtom* impact(int j) {
    atom_.mass = mol_.massarray[j];
    for (int i = 0; i < 3; ++i) {
      if (pair_ == 0) {
        atom_.V[i] = 0.0;
      } else {
        const int rows = mol_.move_rows;
        const double* col = mol_.Move_pos + static_cast<long long>(i) * rows;
        const double now = col[static_cast<long long>(pair_ - 1) * mol_.N + j];
        const double before = col[static_cast<long long>(pair_ - 2) * mol_.N + j];
        atom_.V[i] = (now - before) * 1e-10 / 1e-15;
      }
    }
    return &atom_;
  }

 private:
  void use_pair(int f) {
    if (two_frames_) pair_ = f;
  }

  const Molecule& mol_;
  MovingAtom atom_;
  bool two_frames_ = false;
  int f_ = 1;     // frame counter
  int pair_ = 0;  // velocities from frames (pair_ - 1, pair_); 0: at rest
};

}  // namespace ccs::trajectory

// One straight-line hard-sphere trajectory: misses, escapes after reflections,
// the collision limits, specular and diffuse re-emission, overlapping spheres
// and the order of the random draws.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "hs_test_support.h"
#include "runtime/geometry.h"

namespace {

using hs_test::Atom;
using hs_test::KernelMolecule;
using hs_test::StreamSnapshot;

constexpr double kVbar = 470.0;

HsEmission emission(double a, double diffusive, double v_c2, double random_C) {
  return HsEmission{ccs::diffuse_direction_from_code(diffusive), a, kVbar, v_c2, kVbar,
                    ccs::maxwell_speed_from_code(random_C)};
}

struct Flight {
  double position[3];
  double direction[3];
  double result[3];
};

Flight fly(KernelMolecule& mol, const HsEmission& em, const double start[3], const double dir[3],
           int limit = kSphereCollisionLimit) {
  Flight f{};
  for (int j = 0; j < 3; ++j) {
    f.position[j] = start[j];
    f.direction[j] = dir[j];
  }
  rt::RootContext root;
  hs_momentum_transfer(root.get(), limit, mol.atoms(), em, mol.scratch(), f.position, f.direction,
                       f.result);
  return f;
}

double dot(const double a[3], const double b[3]) {
  return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2];
}

// Independent specular ray tracer for spheres that do not overlap: nearest
// intersection ahead, mirror reflection, until the ray leaves.
struct Traced {
  double dir[3];
  int collisions;
};
Traced trace_specular(const std::vector<Atom>& atoms, const double start[3], const double dir[3]) {
  double p[3] = {start[0], start[1], start[2]};
  double d[3] = {dir[0], dir[1], dir[2]};
  int hits = 0;
  for (;;) {
    double best = INFINITY;
    int k = -1;
    for (size_t i = 0; i < atoms.size(); ++i) {
      const double oc[3] = {p[0] - atoms[i][0], p[1] - atoms[i][1], p[2] - atoms[i][2]};
      const double b = dot(oc, d);
      const double c = dot(oc, oc) - atoms[i][3] * atoms[i][3];
      const double disc = b * b - c;
      if (disc <= 0.0) continue;
      const double s = -b - std::sqrt(disc);
      if (s > 1e-9 && s < best) {
        best = s;
        k = static_cast<int>(i);
      }
    }
    if (k < 0) break;
    double n[3];
    for (int j = 0; j < 3; ++j) p[j] += best * d[j];
    for (int j = 0; j < 3; ++j)
      n[j] = (p[j] - atoms[static_cast<size_t>(k)][j]) / atoms[static_cast<size_t>(k)][3];
    const double dn = dot(d, n);
    for (int j = 0; j < 3; ++j) d[j] -= 2.0 * dn * n[j];
    ++hits;
  }
  return Traced{{d[0], d[1], d[2]}, hits};
}

class MomentumTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::rng::ensure_initialised();
    rt::rng::rng(12345);
  }
};

TEST_F(MomentumTransfer, MissReturnsExactZeroWithoutDrawing) {
  KernelMolecule mol({{0.0, 0.0, 0.0, 1.0}, {0.0, 4.0, 0.0, 1.5}});
  const double start[3] = {-10.0, 2.0, 3.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  StreamSnapshot snap;
  const Flight f = fly(mol, emission(0.5, 1.0, 0.0, 1.0), start, dir);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(f.result[j], 0.0);
    EXPECT_FALSE(std::signbit(f.result[j]));
    EXPECT_EQ(f.position[j], start[j]);
  }
  EXPECT_EQ(hs_test::draws_since(snap), 0);

  // An atom behind the launch point is not touched either.
  const double away[3] = {-1.0, 0.0, 0.0};
  const double from[3] = {-3.0, 0.0, 0.0};
  const Flight g = fly(mol, emission(0.0, 1.0, 0.0, 0.0), from, away);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(g.result[j], 0.0);
}

TEST_F(MomentumTransfer, SingleSpecularBounceAndMirrorSign) {
  KernelMolecule mol({{0.0, 0.0, 0.0, 1.0}});
  const double y = 0.3, z = 0.2;
  const double px = -std::sqrt(1.0 - y * y - z * z);
  const double n[3] = {px, y, z};  // contact point = normal on the unit sphere
  const double d0[3] = {1.0, 0.0, 0.0};
  double v[3];
  for (int j = 0; j < 3; ++j) v[j] = d0[j] - 2.0 * px * n[j];

  const double start[3] = {-5.0, y, z};
  StreamSnapshot snap;
  const Flight f = fly(mol, emission(0.0, 1.0, 0.0, 1.0), start, d0);
  EXPECT_EQ(hs_test::draws_since(snap), 1);
  for (int j = 0; j < 3; ++j) {
    EXPECT_NEAR(f.position[j], n[j], 1e-12);
    EXPECT_NEAR(f.direction[j], v[j], 1e-12);
    EXPECT_NEAR(f.result[j], (v[j] - d0[j]) * kVbar, 1e-9);
  }

  // The mirror launch towards -x: the x component keeps its sign, y and z flip.
  const double mstart[3] = {5.0, y, z};
  const double md0[3] = {-1.0, 0.0, 0.0};
  const Flight m = fly(mol, emission(0.0, 1.0, 0.0, 1.0), mstart, md0);
  EXPECT_NEAR(m.result[0], f.result[0], 1e-9);
  EXPECT_NEAR(m.result[1], -f.result[1], 1e-9);
  EXPECT_NEAR(m.result[2], -f.result[2], 1e-9);
  EXPECT_LT(f.result[0], 0.0);  // the gas molecule loses x momentum
}

TEST_F(MomentumTransfer, SpecularEscapesMatchIndependentRayTracer) {
  // Non-overlapping spheres, random launches; a = 0 makes every collision
  // specular whatever the stream delivers.
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  std::vector<Atom> atoms;
  while (atoms.size() < 8) {
    const Atom c{4.0 * U(gen), 4.0 * U(gen), 4.0 * U(gen), 0.8 + 0.4 * (U(gen) + 1.0)};
    bool free = true;
    for (const Atom& o : atoms) {
      const double dd = std::hypot(c[0] - o[0], c[1] - o[1], c[2] - o[2]);
      if (dd < c[3] + o[3] + 0.05) free = false;
    }
    if (free) atoms.push_back(c);
  }
  KernelMolecule mol(atoms);
  int multi = 0;
  int hits = 0;
  for (int trial = 0; trial < 400; ++trial) {
    double dir[3] = {U(gen), U(gen), U(gen)};
    const double len = std::sqrt(dot(dir, dir));
    for (double& c : dir) c /= len;
    const double start[3] = {-12.0 * dir[0] + 2.0 * U(gen), -12.0 * dir[1] + 2.0 * U(gen),
                             -12.0 * dir[2] + 2.0 * U(gen)};
    const Traced ref = trace_specular(atoms, start, dir);
    StreamSnapshot snap;
    const Flight f = fly(mol, emission(0.0, 1.0, 0.0, 0.0), start, dir);
    ASSERT_EQ(hs_test::draws_since(snap), ref.collisions) << "trial " << trial;
    const double s = dir[0] > 0 ? 1.0 : -1.0;
    for (int j = 0; j < 3; ++j) {
      const double expected = ref.collisions == 0 ? 0.0 : (ref.dir[j] - dir[j]) * kVbar * s;
      // Grazing contacts amplify rounding of the half chord: 2e-8 relative.
      EXPECT_NEAR(f.result[j], expected, 1e-5) << "trial " << trial;
    }
    hits += ref.collisions > 0;
    multi += ref.collisions > 1;
  }
  EXPECT_GT(hits, 100);
  EXPECT_GT(multi, 10);  // escapes after several collisions are covered
}

TEST_F(MomentumTransfer, CollisionLimitsStopTrappedMolecules) {
  // Head-on between two spheres: the molecule bounces until the limit, one
  // draw per collision, and is reported with its current direction.
  KernelMolecule mol({{3.0, 0.0, 0.0, 1.0}, {-3.0, 0.0, 0.0, 1.0}});
  const double start[3] = {0.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  rt::RootContext root;
  for (int variant = 0; variant < 2; ++variant) {
    Flight f{};
    for (int j = 0; j < 3; ++j) {
      f.position[j] = start[j];
      f.direction[j] = dir[j];
    }
    StreamSnapshot snap;
    if (variant == 0) {
      sphere_loop_transfer(root.get(), mol.atoms(), emission(0.0, 1.0, 0.0, 0.0),
                                mol.scratch(), f.position, f.direction, f.result);
      EXPECT_EQ(hs_test::draws_since(snap), 350);
    } else {
      face_loop_transfer(root.get(), mol.atoms(), emission(0.0, 1.0, 0.0, 0.0),
                                  mol.scratch(), f.position, f.direction, f.result);
      EXPECT_EQ(hs_test::draws_since(snap), 450);
    }
    // Even collision counts end at the left sphere heading +x.
    EXPECT_NEAR(f.position[0], -2.0, 1e-12);
    EXPECT_NEAR(f.direction[0], 1.0, 1e-12);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(f.result[j], 0.0, 1e-9);
  }
  // An odd limit stops heading -x: velocity change -2 vbar along x.
  const Flight odd = fly(mol, emission(0.0, 1.0, 0.0, 0.0), start, dir, 7);
  EXPECT_NEAR(odd.position[0], 2.0, 1e-12);
  EXPECT_NEAR(odd.result[0], -2.0 * kVbar, 1e-9);
}

TEST_F(MomentumTransfer, OverlappingSphereMovesBackToItsEntryPoint) {
  // Start inside B (centre behind), reflect head-on off A at x = 1.5, which
  // lies inside B: B's entry distance is -0.5 and the molecule is moved back
  // to x = 2.0, B's surface, before reflecting again.
  KernelMolecule mol({{0.0, 0.0, 0.0, 2.0}, {3.0, 0.0, 0.0, 1.5}});
  const double start[3] = {0.5, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  const Flight one = fly(mol, emission(0.0, 1.0, 0.0, 0.0), start, dir, 1);
  EXPECT_NEAR(one.position[0], 1.5, 1e-12);
  EXPECT_NEAR(one.direction[0], -1.0, 1e-12);
  const Flight two = fly(mol, emission(0.0, 1.0, 0.0, 0.0), start, dir, 2);
  EXPECT_NEAR(two.position[0], 2.0, 1e-12);
  EXPECT_NEAR(two.direction[0], 1.0, 1e-12);
  const Flight three = fly(mol, emission(0.0, 1.0, 0.0, 0.0), start, dir, 3);
  EXPECT_NEAR(three.position[0], 1.5, 1e-12);
}

TEST_F(MomentumTransfer, DiffuseSpecularModeWithReferenceSpeedEqualsSpecular) {
  // diffusive = 0 with random_C != 1 and v_c2 = 0 reflects specularly at the
  // reference speed: bit-identical to a = 0, same draws.
  KernelMolecule mol(hs_test::ring(10, 3.0, 1.3));
  std::mt19937 gen(3);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int trial = 0; trial < 200; ++trial) {
    double dir[3] = {U(gen), U(gen), 0.3 * U(gen)};
    const double len = std::sqrt(dot(dir, dir));
    for (double& c : dir) c /= len;
    const double start[3] = {-8.0 * dir[0] + U(gen), -8.0 * dir[1] + U(gen), 0.5 * U(gen)};
    StreamSnapshot snap;
    const Flight spec = fly(mol, emission(0.0, 0.0, 0.0, 0.0), start, dir);
    const int n_spec = hs_test::draws_since(snap);
    snap.restore();
    const Flight diff = fly(mol, emission(1.0, 0.0, 0.0, 0.0), start, dir);
    EXPECT_EQ(hs_test::draws_since(snap), n_spec);
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(diff.result[j], spec.result[j]);
      EXPECT_EQ(diff.position[j], spec.position[j]);
    }
  }
}

// Flights through `atoms` with the uniform no-contact template and with one
// entry raised (which forces the evaluation of every atom): identical
// results, positions, directions and draws.
void expect_same_as_full_evaluation(const std::vector<Atom>& atoms, const HsEmission& em,
                                    const double start[3], const double dir[3],
                                    bool inline_products = false) {
  KernelMolecule fast(atoms);
  KernelMolecule full(atoms);
  fast.inline_products = inline_products;
  full.inline_products = inline_products;
  full.no_contact.back() = 1000.5;
  StreamSnapshot snap;
  const Flight a = fly(fast, em, start, dir);
  const rt::MtState after = *rt::rng::current_state();
  snap.restore();
  const Flight b = fly(full, em, start, dir);
  for (int j = 0; j < 3; ++j) {
    ASSERT_EQ(a.result[j], b.result[j]);
    ASSERT_EQ(a.position[j], b.position[j]);
    ASSERT_EQ(a.direction[j], b.direction[j]);
  }
  for (int w = 0; w < 625; ++w) ASSERT_EQ(rt::rng::current_state()->w[w], after.w[w]);
}

TEST_F(MomentumTransfer, ContactSearchOverTouchedAtomsEqualsFullEvaluation) {
  std::mt19937 gen(11);
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  for (int mol = 0; mol < 5; ++mol) {
    std::vector<Atom> atoms;  // overlapping cluster
    for (int k = 0; k < 40; ++k)
      atoms.push_back({5.0 * U(gen), 5.0 * U(gen), 5.0 * U(gen), 1.8 + 0.3 * U(gen)});
    for (int trial = 0; trial < 100; ++trial) {
      double dir[3] = {U(gen), U(gen), U(gen)};
      const double len = std::sqrt(dot(dir, dir));
      for (double& c : dir) c /= len;
      const double start[3] = {-15.0 * dir[0] + 3.0 * U(gen), -15.0 * dir[1] + 3.0 * U(gen),
                               -15.0 * dir[2] + 3.0 * U(gen)};
      const double a = trial % 3 == 0 ? 0.0 : 0.5;
      expect_same_as_full_evaluation(atoms, emission(a, trial % 2, 0.0, 1.0), start, dir);
      // The program's one-pass search with written-out products against
      // the full evaluation with the same products.
      expect_same_as_full_evaluation(atoms, emission(a, trial % 2, 0.0, 1.0), start, dir, true);
    }
  }
  // An atom whose entry lies more than 1000 Å ahead loses against the
  // no-contact value: the molecule moves 1000 Å and takes the first
  // untouched atom as its contact atom.
  const std::vector<Atom> far = {
      {0.0, 5.0, 0.0, 1.0}, {1500.0, 0.0, 0.0, 1.0}, {0.0, -5.0, 0.0, 1.0}};
  const double start[3] = {0.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  expect_same_as_full_evaluation(far, emission(0.0, 1.0, 0.0, 0.0), start, dir);
  expect_same_as_full_evaluation(far, emission(0.0, 1.0, 0.0, 0.0), start, dir, true);
  KernelMolecule mol(far);
  const Flight f = fly(mol, emission(0.0, 1.0, 0.0, 0.0), start, dir, 1);
  EXPECT_EQ(f.position[0], 1000.0);
}

// Random compact cluster of n atoms (about 11 Å^3 per atom), with a few
// exact duplicates so that equal entry distances occur.
std::vector<Atom> cluster(int n, std::mt19937& gen) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  const double R = std::cbrt(n * 11.0 * 3.0 / (4.0 * hs_test::kPi));
  std::vector<Atom> atoms;
  while (static_cast<int>(atoms.size()) < n) {
    const double x = U(gen), y = U(gen), z = U(gen);
    if (x * x + y * y + z * z > 1.0) continue;
    atoms.push_back({R * x, R * y, R * z, 2.2 + 0.4 * U(gen)});
  }
  for (int k = 0; k < n / 50; ++k)
    atoms[static_cast<size_t>(n - 1 - k)] = atoms[static_cast<size_t>(k * 7)];
  return atoms;
}

// Flies the same random flights (inward launches from a sphere of radius R
// around `centre`, some from inside) through `plain` and `indexed`: the
// results, end points, directions and draws must be bit-identical. Returns
// the number of launches that hit.
int expect_same_flights(KernelMolecule& plain, KernelMolecule& indexed, const double centre[3],
                        double R, int trials, std::mt19937& gen) {
  std::uniform_real_distribution<double> U(0.0, 1.0);
  int hit = 0;
  for (int trial = 0; trial < trials; ++trial) {
    const double ct = 2.0 * U(gen) - 1.0, ph = 2.0 * hs_test::kPi * U(gen);
    const double st = std::sqrt(1.0 - ct * ct);
    const double rad = trial % 10 == 0 ? 0.3 * R : R;
    const double off[3] = {rad * st * std::cos(ph), rad * st * std::sin(ph), rad * ct};
    const double start[3] = {centre[0] + off[0], centre[1] + off[1], centre[2] + off[2]};
    double dir[3] = {-off[0] + R * (U(gen) - 0.5), -off[1] + R * (U(gen) - 0.5),
                     -off[2] + R * (U(gen) - 0.5)};
    const double len = std::sqrt(dot(dir, dir));
    for (double& c : dir) c /= len;
    const HsEmission em = emission(trial % 3 == 0 ? 0.0 : 0.5, trial % 2, 0.0, 1.0);
    StreamSnapshot snap;
    const Flight a = fly(plain, em, start, dir);
    const rt::MtState after = *rt::rng::current_state();
    snap.restore();
    const Flight b = fly(indexed, em, start, dir);
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(a.result[j], b.result[j]) << "trial " << trial;
      EXPECT_EQ(a.position[j], b.position[j]) << "trial " << trial;
      EXPECT_EQ(a.direction[j], b.direction[j]) << "trial " << trial;
    }
    bool same_draws = true;
    for (int w = 0; w < 625; ++w) same_draws = same_draws && rt::rng::current_state()->w[w] == after.w[w];
    EXPECT_TRUE(same_draws) << "trial " << trial;
    hit += a.result[0] != 0.0;
  }
  return hit;
}

TEST_F(MomentumTransfer, GridSearchEqualsFullSearch) {
  // Same flights through the same molecule with and without the spatial
  // index: bit-identical results, end points, directions and draws; with
  // the plug-in's BLAS products and with the program's written-out ones.
  std::mt19937 gen(5);
  int flights = 0;
  int hit = 0;
  const double origin[3] = {0.0, 0.0, 0.0};
  for (int n : {401, 1000, 2503}) {
    const std::vector<Atom> atoms = cluster(n, gen);
    for (bool written : {false, true}) {
      KernelMolecule plain(atoms);
      KernelMolecule indexed(atoms);
      plain.inline_products = written;
      indexed.inline_products = written;
      ASSERT_TRUE(indexed.build_grid());
      const double R = std::cbrt(n * 11.0 * 3.0 / (4.0 * hs_test::kPi)) + 3.0;
      const int trials = written ? 100 : 300;
      hit += expect_same_flights(plain, indexed, origin, R, trials, gen);
      flights += trials;
    }
  }
  EXPECT_GT(hit, flights / 2);
  // Equal entry distances in different cells, the later atom's cell visited
  // first: the first atom still wins.
  {
    KernelMolecule plain({{10.0, 1.0, 0.0, 1.5}, {10.0, -1.0, 0.0, 1.5}});
    KernelMolecule indexed({{10.0, 1.0, 0.0, 1.5}, {10.0, -1.0, 0.0, 1.5}});
    ASSERT_TRUE(indexed.build_grid());
    const double start[3] = {0.0, 0.0, 0.0};
    const double dir[3] = {1.0, 0.0, 0.0};
    const Flight a = fly(plain, emission(0.0, 1.0, 0.0, 0.0), start, dir, 1);
    const Flight b = fly(indexed, emission(0.0, 1.0, 0.0, 0.0), start, dir, 1);
    EXPECT_LT(a.direction[1], 0.0);  // reflected off the atom at y = +1
    for (int j = 0; j < 3; ++j) EXPECT_EQ(a.direction[j], b.direction[j]);
  }
  // Sparse molecule with an atom more than 1000 Å ahead: the grid defers
  // to the full search, which picks the first untouched atom.
  std::vector<Atom> far = cluster(450, gen);
  far.push_back({1500.0, 0.0, 0.0, 1.0});
  KernelMolecule plain(far);
  KernelMolecule indexed(far);
  ASSERT_TRUE(indexed.build_grid());
  const double start[3] = {300.0, 0.0, 0.0};
  const double dir[3] = {1.0, 0.0, 0.0};
  const Flight a = fly(plain, emission(0.0, 1.0, 0.0, 0.0), start, dir, 1);
  const Flight b = fly(indexed, emission(0.0, 1.0, 0.0, 0.0), start, dir, 1);
  EXPECT_EQ(a.position[0], 1300.0);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(a.result[j], b.result[j]);
}

TEST_F(MomentumTransfer, TurnedAtomsEqualATurnedCopy) {
  // A cluster (centred, and 3 000 Å off the origin, where the rounding of
  // the turned coordinates is largest) turned by the kernel, through a grid
  // of the unturned centres and through the searches over all atoms (with
  // written-out and BLAS products): the same flights as through a stored
  // turned copy searched over all atoms.
  std::mt19937 gen(11);
  int flights = 0;
  int hit = 0;
  for (double shift : {0.0, 3000.0}) {
    std::vector<Atom> atoms = cluster(1500, gen);
    for (Atom& a : atoms) a[0] += shift;
    for (int turn = 0; turn < 3; ++turn) {
      double R[9];
      rt::rng::rng(turn + 1.0);
      ccs::geometry::draw_uniform_rotation(R);
      double centre[3] = {0.0, 0.0, 0.0};
      for (int j = 0; j < 3; ++j) centre[j] = shift * R[3 * j];
      const double radius = std::cbrt(1500 * 11.0 * 3.0 / (4.0 * hs_test::kPi)) + 3.0;
      for (int variant = 0; variant < 3; ++variant) {
        const bool grid = variant == 0, written = variant < 2;
        KernelMolecule plain(hs_test::turned(atoms, R));
        KernelMolecule turned(atoms);
        plain.inline_products = turned.inline_products = written;
        turned.turn_by(R);
        if (grid) {
          ASSERT_TRUE(turned.build_grid());
        }
        const int trials = grid ? 150 : 30;
        hit += expect_same_flights(plain, turned, centre, radius, trials, gen);
        flights += trials;
      }
    }
  }
  EXPECT_GT(hit, flights / 2);
}

// One collision with the unit sphere at the origin, launched along +x at
// height 0.3: returns the outgoing direction and speed recovered from the
// result, and the number of draws.
struct Bounce {
  double dir[3];
  double speed;
  double normal[3];
  int draws;
};
Bounce one_bounce(const HsEmission& em) {
  KernelMolecule mol({{0.0, 0.0, 0.0, 1.0}});
  const double start[3] = {-5.0, 0.3, 0.0};
  const double d0[3] = {1.0, 0.0, 0.0};
  StreamSnapshot snap;
  const Flight f = fly(mol, em, start, d0, 1);
  Bounce b{};
  b.draws = hs_test::draws_since(snap);
  double v[3];
  for (int j = 0; j < 3; ++j) v[j] = f.result[j] + d0[j] * kVbar;  // sign(d0_x) = 1
  b.speed = std::sqrt(dot(v, v));
  for (int j = 0; j < 3; ++j) {
    b.dir[j] = v[j] / b.speed;
    b.normal[j] = f.position[j];
  }
  return b;
}

TEST_F(MomentumTransfer, ProbabilityZeroIsSpecularAndOneIsDiffuse) {
  const Bounce spec = one_bounce(emission(0.0, 1.0, 0.0, 0.0));
  EXPECT_EQ(spec.draws, 1);
  EXPECT_NEAR(spec.speed, kVbar, 1e-9);
  // Mirror image: angle of incidence equals angle of reflection.
  const double d0[3] = {1.0, 0.0, 0.0};
  EXPECT_NEAR(dot(spec.dir, spec.normal), -dot(d0, spec.normal), 1e-12);

  // a = 1, cosine law: every collision draws rho, psi and alpha, and leaves
  // into the outer half space; with v_c2 the speed is v_c2.
  int inward = 0;
  for (int k = 0; k < 200; ++k) {
    const Bounce b = one_bounce(emission(1.0, 1.0, 333.0, 0.0));
    EXPECT_EQ(b.draws, 3);
    EXPECT_NEAR(b.speed, 333.0, 1e-9);
    inward += dot(b.dir, b.normal) < 0.0;
  }
  EXPECT_EQ(inward, 0);
  // v_c2 = 0 re-emits at the reference speed.
  EXPECT_NEAR(one_bounce(emission(1.0, 1.0, 0.0, 0.0)).speed, kVbar, 1e-9);
  // Any other diffuse mode draws nothing more and keeps the direction.
  const Bounce keep = one_bounce(emission(1.0, 2.0, 0.0, 0.0));
  EXPECT_EQ(keep.draws, 1);
  EXPECT_NEAR(keep.dir[0], 1.0, 1e-12);
}

// A normal exactly along z has no azimuth (0/0): a diffuse bounce off the
// pole of an atom still leaves outward in a finite direction.
TEST_F(MomentumTransfer, DiffuseBounceOffThePoleLeavesOutward) {
  KernelMolecule mol({{0.0, 0.0, 0.0, 1.0}});
  for (double zsign : {1.0, -1.0}) {
    const double start[3] = {0.0, 0.0, 5.0 * zsign};
    const double d0[3] = {0.0, 0.0, -zsign};
    for (int rep = 0; rep < 20; ++rep) {
      const Flight f = fly(mol, emission(1.0, 1.0, 0.0, 0.0), start, d0, 1);
      ASSERT_NEAR(f.position[2], zsign, 1e-12) << "did not strike the pole";
      for (int j = 0; j < 3; ++j) ASSERT_TRUE(std::isfinite(f.direction[j])) << j;
      EXPECT_GT(f.direction[2] * zsign, 0.0);
    }
  }
}

TEST_F(MomentumTransfer, DrawOrderReplaysRhoMaxwellPairsPsiAlpha) {
  for (double v_c2 : {400.0, 0.0}) {
    for (int rep = 0; rep < 20; ++rep) {
      StreamSnapshot snap;
      const Bounce b = one_bounce(emission(1.0, 1.0, v_c2, 1.0));
      const rt::MtState after = *rt::rng::current_state();
      snap.restore();
      const double rho = rt::rng::rand();
      EXPECT_LE(rho, 1.0);
      double x;
      int pairs = 0;
      for (;;) {
        x = 5.0 * rt::rng::rand();
        const double y = 0.82 * rt::rng::rand();
        ++pairs;
        if (std::exp(-x * x) * 2.0 * x * x * x >= y) break;
      }
      rt::rng::rand();  // psi
      const double u_alpha = rt::rng::rand();
      EXPECT_EQ(b.draws, 1 + 2 * pairs + 2);
      // A zero v_c2 scales the Maxwell speed by the reference speed.
      const double scale = v_c2 != 0.0 ? v_c2 : kVbar;
      EXPECT_NEAR(b.speed, x * 4.0 / 3.0 / std::sqrt(hs_test::kPi) * scale, 1e-9 * scale);
      EXPECT_NEAR(dot(b.dir, b.normal), std::sqrt(u_alpha), 1e-12);
      for (int w = 0; w < 625; ++w) ASSERT_EQ(rt::rng::current_state()->w[w], after.w[w]);
    }
  }
}

TEST_F(MomentumTransfer, MaxwellSpeedsAverageTheScale) {
  // random_C = 1, diffusive = 0: specular direction, speed drawn with mean v_c2.
  std::vector<double> speeds;
  for (int k = 0; k < 4000; ++k) speeds.push_back(one_bounce(emission(1.0, 0.0, 500.0, 1.0)).speed);
  double m = 0.0;
  for (double s : speeds) m += s;
  m /= speeds.size();
  double ss = 0.0;
  for (double s : speeds) ss += (s - m) * (s - m);
  const double se = std::sqrt(ss / (speeds.size() - 1.0) / speeds.size());
  EXPECT_NEAR(m, 500.0, 3.0 * se);
}

}  // namespace

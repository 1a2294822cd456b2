#include "trajectory/collision_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runtime/random_streams.h"
#include "support/statistics.h"
#include "trajectory_scene.h"

namespace ccs::trajectory {
namespace {

constexpr double kPi = 3.141592653589793;

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void unit(double v[3]) {
  const double l = std::sqrt(dot(v, v));
  for (int i = 0; i < 3; ++i) v[i] /= l;
}

// The first n doubles of the stream seeded with `seed`.
std::vector<double> replay(double seed, int n) {
  rt::rng::rng(seed);
  std::vector<double> r(n);
  for (auto& x : r) x = rt::rng::rand();
  return r;
}

class CollisionResponse : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::rng::first_time_init();
    law.v_inf = test::Helium::v_c_t();
    law.Force_const = test::Helium::Force_const();
  }

  // Runs one response from a freshly seeded stream and returns the index of
  // the next draw in that stream (how many draws the response took).
  int draws_taken(double seed, const double s_hat[3], const double n[3], double E2 = 0.0,
                  const MovingAtom* atom = nullptr) {
    const std::vector<double> ref = replay(seed, 400);
    rt::rng::rng(seed);
    collision_response(law, s_hat, n, E2, v_new, atom, u, &speed, dir);
    const double next = rt::rng::rand();
    for (int i = 0; i < static_cast<int>(ref.size()); ++i)
      if (ref[i] == next) return i;
    return -1;
  }

  SurfaceLaw law;
  double v_new[3] = {800.0, -200.0, 100.0};
  double u[3] = {0, 0, 0};
  double speed = -1.0;
  double dir[3] = {9, 9, 9};
};

TEST_F(CollisionResponse, FirstDrawDecidesTheKindAndElasticTakesOnlyIt) {
  const double s[3] = {1, 0, 0};
  const double n[3] = {-1, 0, 0};
  for (double seed : {3.0, 17.0, 12345.0}) {
    const double r1 = replay(seed, 1)[0];
    // r1 == a is not below a: elastic, one draw.
    law.a = r1;
    law.diffusive = DiffuseDirection::CosineLaw;
    law.maxwell_speed = true;
    EXPECT_EQ(draws_taken(seed, s, n), 1);
    EXPECT_DOUBLE_EQ(u[0], -1.0);  // specular reflection of a head-on hit
    // Just above r1: diffuse, more draws follow.
    law.a = std::nextafter(r1, 2.0);
    EXPECT_GT(draws_taken(seed, s, n), 1);
  }
}

TEST_F(CollisionResponse, CosineLawDrawsPsiThenAlpha) {
  law.a = 1.0;
  law.diffusive = DiffuseDirection::CosineLaw;
  law.maxwell_speed = false;
  const double s[3] = {0.3, 0.2, -0.9};
  const double n[3] = {0, 0, 1};  // normal along z: no rotation of the frame
  for (double seed : {5.0, 77.0, 901.0}) {
    const std::vector<double> ref = replay(seed, 3);
    ASSERT_EQ(draws_taken(seed, s, n), 3);
    // alpha from the third draw: cos(alpha) = sqrt(r3)
    EXPECT_NEAR(dot(u, n), std::sqrt(ref[2]), 1e-12);
    // azimuth from the second draw
    double az = std::atan2(u[1], u[0]);
    if (az < 0) az += 2 * kPi;
    EXPECT_NEAR(az, 2 * kPi * ref[1], 1e-9);
    EXPECT_DOUBLE_EQ(speed, law.v_inf);  // v_c2 = 0: re-emitted with v_inf
  }
}

TEST_F(CollisionResponse, MaxwellPairsFollowOnlyWithRandomC) {
  law.a = 1.0;
  law.v_c2 = 700.0;
  const double s[3] = {0.6, -0.8, 0.0};
  const double n[3] = {0, 0, 1};
  int rejected_somewhere = 0;
  for (double diffusive : {0.0, 1.0}) {
    law.diffusive = diffuse_direction_from_code(diffusive);
    const int first_pair = diffusive == 1.0 ? 3 : 1;
    law.maxwell_speed = false;
    EXPECT_EQ(draws_taken(11.0, s, n), first_pair);
    EXPECT_DOUBLE_EQ(speed, 700.0);
    law.maxwell_speed = true;
    for (double seed : {1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0}) {
      const std::vector<double> ref = replay(seed, 400);
      const int taken = draws_taken(seed, s, n);
      ASSERT_GT(taken, first_pair);
      ASSERT_EQ((taken - first_pair) % 2, 0);  // whole (y, z) pairs
      // The speed comes from the y of the last pair taken (E2 = 0).
      const double y = 5.0 * ref[taken - 2];
      EXPECT_NEAR(speed, 4.0 * y / (3.0 * std::sqrt(kPi)) * 700.0, 1e-9);
      // Every earlier pair was rejected by the flux law, the last accepted.
      for (int k = first_pair; k < taken; k += 2) {
        const double yk = 5.0 * ref[k];
        const bool accept = yk * yk * yk * std::exp(-yk * yk) >= 0.41 * ref[k + 1];
        EXPECT_EQ(accept, k == taken - 2);
      }
      rejected_somewhere += (taken - first_pair) / 2 - 1;
    }
  }
  EXPECT_GT(rejected_somewhere, 0);
}

TEST_F(CollisionResponse, FluxWeightedSpeedHasMeanVc2) {
  law.a = 1.0;
  law.diffusive = DiffuseDirection::Specular;
  law.maxwell_speed = true;
  law.v_c2 = 500.0;
  const double s[3] = {1, 0, 0};
  const double n[3] = {-1, 0, 0};
  rt::rng::rng(2024);
  std::vector<double> speeds(20000);
  for (auto& v : speeds) {
    collision_response(law, s, n, 0.0, v_new, nullptr, u, &speed, dir);
    v = speed;
  }
  const auto est = ccs::test::mean_and_error(speeds);
  EXPECT_TRUE(ccs::test::within(est.mean, 500.0, est.standard_error))
      << est.mean << " +- " << est.standard_error;
}

TEST_F(CollisionResponse, SpecularReflectionKeepsSpeedAndMirrorsNormal) {
  law.a = 0.0;
  const double E2 = 3.0e37;
  double s[3] = {0.4, -0.7, 0.59};
  unit(s);
  double n[3] = {-0.5, 0.3, -0.2};
  unit(n);
  collision_response(law, s, n, E2, v_new, nullptr, u, &speed, dir);
  const double expected = std::sqrt(law.v_inf * law.v_inf + law.Force_const / 2 * E2);
  EXPECT_NEAR(speed, expected, 1e-9 * expected);
  EXPECT_NEAR(dot(u, n), -dot(s, n), 1e-14);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(u[i] - dot(u, n) * n[i], s[i] - dot(s, n) * n[i], 1e-14);
  EXPECT_EQ(dir[0], 9.0);  // untouched by an elastic collision
}

TEST_F(CollisionResponse, DiffuseSpecularLawReplacesOnlyTheSpeed) {
  law.a = 1.0;
  law.diffusive = DiffuseDirection::Specular;
  double s[3] = {0.4, -0.7, 0.59};
  unit(s);
  double n[3] = {-0.5, 0.3, -0.2};
  unit(n);
  const double E2 = 1.0e37;
  // v_c2 = 0 and no Maxwell law: the elastic speed.
  collision_response(law, s, n, E2, v_new, nullptr, u, &speed, dir);
  EXPECT_NEAR(speed, std::sqrt(law.v_inf * law.v_inf + law.Force_const / 2 * E2), 1e-9 * speed);
  EXPECT_NEAR(dot(u, n), -dot(s, n), 1e-14);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(dir[i], v_new[i]);  // the velocity, not normalised
  law.v_c2 = 321.0;
  collision_response(law, s, n, E2, v_new, nullptr, u, &speed, dir);
  EXPECT_NEAR(speed, std::sqrt(321.0 * 321.0 + law.Force_const / 2 * E2), 1e-9 * speed);
}

TEST_F(CollisionResponse, UndefinedDiffuseLawKeepsPreviousDirectionAndSpeed) {
  law.a = 1.0;
  law.diffusive = DiffuseDirection::Unchanged;
  const double s[3] = {1, 0, 0};
  const double n[3] = {-1, 0, 0};
  double prev[3] = {0.1, 0.2, 0.3};
  for (int i = 0; i < 3; ++i) u[i] = prev[i];
  speed = 42.0;
  collision_response(law, s, n, 0.0, v_new, nullptr, u, &speed, dir);
  EXPECT_EQ(speed, 42.0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(u[i], prev[i]);
}

TEST_F(CollisionResponse, CosineLawLeavesOutwardForEveryNormal) {
  law.a = 1.0;
  law.diffusive = DiffuseDirection::CosineLaw;
  rt::rng::rng(99);
  const double s[3] = {1, 0, 0};
  // Axis normals (including -x with a zero y component) and random ones.
  // A unit normal computed in floating point may have |n_z| just above 1.
  const double above = 1.0 + 2.220446049250313e-16;
  std::vector<std::vector<double>> normals = {{-1, 0, 0}, {1, 0, 0},     {0, -1, 0},
                                              {0, 1, 0},  {0, 0, -1},    {0, 0, 1},
                                              {-1, -0.0, 0}, {0, 0, above}, {0, 0, -above},
                                              {1e-9, 0, above}};
  for (int k = 0; k < 50; ++k) {
    std::vector<double> n = {rt::rng::rand() - 0.5, rt::rng::rand() - 0.5, rt::rng::rand() - 0.5};
    unit(n.data());
    normals.push_back(n);
  }
  for (const auto& n : normals) {
    for (int rep = 0; rep < 20; ++rep) {
      collision_response(law, s, n.data(), 0.0, v_new, nullptr, u, &speed, dir);
      EXPECT_GT(dot(u, n.data()), 0.0) << n[0] << " " << n[1] << " " << n[2];
      EXPECT_NEAR(dot(u, u), 1.0, 1e-14);
    }
  }
}

TEST_F(CollisionResponse, HeavyAtomAtRestIsSpecular) {
  law.a = 0.0;
  double s[3] = {0.4, -0.7, 0.59};
  unit(s);
  double n[3] = {-0.5, 0.3, -0.2};
  unit(n);
  double masses[1] = {1e12};
  MovingAtom atom;
  atom.mass = 1e12;
  atom.massarray = masses;
  atom.N = 1;
  atom.cfactor = 0.5;
  atom.m_gm = test::Helium::m_gas() * 6.022e23 * 1000.0;
  double u_fixed[3];
  double speed_fixed;
  collision_response(law, s, n, 2e37, v_new, nullptr, u_fixed, &speed_fixed, dir);
  collision_response(law, s, n, 2e37, v_new, &atom, u, &speed, dir);
  EXPECT_EQ(speed, speed_fixed);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(u[i], u_fixed[i], 1e-10);
}

// Outgoing gas velocity implied by the direction: the tangential part is
// s times that of s_hat.
void implied_velocity(const double s_hat[3], const double n[3], double s, const double u[3],
                      double v[3]) {
  double st[3];
  double ut[3];
  for (int i = 0; i < 3; ++i) {
    st[i] = s * (s_hat[i] - dot(s_hat, n) * n[i]);
    ut[i] = u[i] - dot(u, n) * n[i];
  }
  const double scale = std::sqrt(dot(st, st) / dot(ut, ut));
  for (int i = 0; i < 3; ++i) v[i] = u[i] * scale;
}

TEST_F(CollisionResponse, MovingAtomCollisionConservesMomentumAndEnergy) {
  law.a = 0.0;
  double s[3] = {0.8, 0.1, -0.5};
  unit(s);
  double n[3] = {-0.9, 0.2, 0.3};
  unit(n);
  double masses[2] = {16.0, 12.0};
  MovingAtom atom;
  atom.mass = 16.0;  // heavier than helium
  atom.massarray = masses;
  atom.N = 2;
  atom.cfactor = 0.3;  // not used for a heavy atom
  atom.m_gm = test::Helium::m_gas() * 6.022e23 * 1000.0;
  atom.V[0] = 150.0;
  atom.V[1] = -80.0;
  atom.V[2] = 40.0;
  collision_response(law, s, n, 0.0, v_new, &atom, u, &speed, dir);
  EXPECT_EQ(speed, law.v_inf);
  double v[3];
  implied_velocity(s, n, law.v_inf, u, v);
  // Along the normal: gas (m, vn -> vn'), atom (M, un -> un').
  const double m = atom.m_gm;
  const double M = atom.mass;
  const double vn = law.v_inf * dot(s, n);
  const double vn2 = dot(v, n);
  const double un = dot(atom.V, n);
  const double un2 = un + m * (vn - vn2) / M;  // momentum conservation
  const double e_before = m * vn * vn + M * un * un;
  const double e_after = m * vn2 * vn2 + M * un2 * un2;
  EXPECT_NEAR(e_after, e_before, 1e-10 * e_before);
  // The atom is hit: the gas leaves away from the surface.
  EXPECT_GT(dot(u, n), 0.0);
}

TEST_F(CollisionResponse, LightAtomUsesWholeMoleculeAndCfactor) {
  law.a = 0.0;
  double s[3] = {0.8, 0.1, -0.5};
  unit(s);
  double n[3] = {-0.9, 0.2, 0.3};
  unit(n);
  double masses[3] = {1.008, 12.011, 15.999};
  MovingAtom light;
  light.mass = 1.008;  // lighter than helium
  light.massarray = masses;
  light.N = 3;
  light.cfactor = 0.4;
  light.m_gm = test::Helium::m_gas() * 6.022e23 * 1000.0;
  light.V[0] = -300.0;
  light.V[1] = 120.0;
  light.V[2] = 60.0;
  // The same collision with a heavy body of the molecule's mass whose
  // velocity is the light atom's scaled by cfactor.
  MovingAtom body = light;
  body.mass = masses[0] + masses[1] + masses[2];
  for (int i = 0; i < 3; ++i) body.V[i] = light.V[i] * light.cfactor;
  double u_body[3];
  double speed_body;
  collision_response(law, s, n, 0.0, v_new, &light, u, &speed, dir);
  collision_response(law, s, n, 0.0, v_new, &body, u_body, &speed_body, dir);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(u[i], u_body[i], 1e-14);
  // Not what the light atom alone would give.
  MovingAtom alone = light;
  alone.massarray = &masses[0];
  alone.N = 1;
  double u_alone[3];
  collision_response(law, s, n, 0.0, v_new, &alone, u_alone, &speed_body, dir);
  EXPECT_GT(std::fabs(u_alone[0] - u[0]) + std::fabs(u_alone[1] - u[1]), 1e-3);
}

TEST(ContactPoint, EntryPointOfTheStepOnTheSphere) {
  const double centre[3] = {1.0, -2.0, 0.5};
  const double R = 2.5;
  // Step from outside to inside the sphere (m).
  const double x_s[3] = {-3.0e-10, -1.0e-10, 0.2e-10};
  const double x_new[3] = {0.0e-10, -1.5e-10, 0.4e-10};
  double s_hat[3], n[3], P[3];
  contact_point(centre, R, R * R, x_s, x_new, s_hat, n, P);
  double off[3];
  for (int i = 0; i < 3; ++i) off[i] = P[i] - centre[i];
  EXPECT_NEAR(std::sqrt(dot(off, off)), R, 1e-12);
  EXPECT_NEAR(dot(n, n), 1.0, 1e-14);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(off[i], R * n[i], 1e-12);
  // P lies on the step's line, ahead of the start, where the line enters.
  double d[3];
  for (int i = 0; i < 3; ++i) d[i] = P[i] - x_s[i] * 1e10;
  const double along = dot(d, s_hat);
  EXPECT_GT(along, 0.0);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d[i], along * s_hat[i], 1e-12);
  EXPECT_LT(dot(s_hat, n), 0.0);
}

}  // namespace
}  // namespace ccs::trajectory

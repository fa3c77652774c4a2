// Cost of the element Hessian blocks and of their PSD projection, per
// element, on every instruction-set path this processor supports.
//
//   build/release/bench/lamina_hessian_bench          a 100 x 100 sheet
//   build/release/bench/lamina_hessian_bench avx512   that path only
//   build/release/bench/lamina_hessian_bench --smoke  one pass on a small sheet
//
// The elements come from a jittered, bent sheet, rotated, stretched and
// perturbed (mildly, and strongly). Each figure is the median over
// repetitions (of the thread's CPU time) of one pass over all faces or hinges, in batches of 8
// lanes, divided by the number of elements. "exact" evaluates the blocks from the intermediates the
// energy forms and stores each batch's lanes; "projected" copies a batch of exact blocks, projects
// it and stores it (the exact blocks themselves not included). The last lines combine them per
// face, with this mesh's number of hinges per face.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "assembly/projection.h"
#include "hessian_paths.h"
#include "support/mesh.h"
#include "terms/bending/cosine/model.h"
#include "terms/membrane/neo_hookean/model.h"

namespace lamina {
namespace {

using detail::kLanes;
using detail::psd_mode;
using test::point;

using membrane = detail::neo_hookean_membrane;
using bending = detail::cosine_bending;

// What each model's Hessian reads, for kLanes elements.
template <class Model>
struct batch_of {
  typename Model::lanes e;
  typename Model::geometry geo;
  typename Model::rest_type r;
  typename Model::energy_lanes q;
};
using face_batch = batch_of<membrane>;
using hinge_batch = batch_of<bending>;

struct elements {
  std::vector<face_batch> faces;
  std::vector<hinge_batch> hinges;
  std::vector<double> face_blocks;   // batch after batch, [entry][lane]
  std::vector<double> hinge_blocks;  // the same
  int nF = 0, nH = 0;
};

point row(const std::vector<double>& m, std::int32_t nV, int i) {
  return {m[i], m[i + nV], m[i + 2 * nV]};
}

// The sheet's faces and evaluated hinges, packed 8 to a batch (the last
// batch padded with its first element).
elements sheet(int n, double noise, unsigned seed) {
  std::mt19937_64 rng(seed);
  const test::mesh m = test::jittered_sheet(n, n, rng, 0.25);
  const std::vector<double> Q = test::deformed_copy(m, rng, noise / (n - 1));
  std::vector<test::face_values> fv;
  for (int f = 0; f < m.nF; ++f) {
    point P[3], D[3];
    for (int k = 0; k < 3; ++k) {
      const int i = static_cast<int>(m.faces[f + k * m.nF]);
      P[k] = row(m.rest, m.nV, i);
      D[k] = row(Q, m.nV, i);
    }
    fv.push_back(test::face_values_of(P, D));
  }
  std::vector<test::hinge_values> hv;
  for (int e = 0; e < m.nE; ++e) {
    int v[4];
    for (int k = 0; k < 4; ++k) v[k] = static_cast<int>(m.edges[e + k * m.nE]);
    if (v[2] < 0 || v[3] < 0) continue;
    point P[4], D[4];
    for (int k = 0; k < 4; ++k) {
      P[k] = row(m.rest, m.nV, v[k]);
      D[k] = row(Q, m.nV, v[k]);
    }
    const test::hinge_values h = test::hinge_values_of(P, D);
    if (h.lN1 < 1e-10 || h.lN2 < 1e-10) continue;
    hv.push_back(h);
  }
  elements out;
  out.nF = static_cast<int>(fv.size());
  out.nH = static_cast<int>(hv.size());
  for (int b = 0; b * kLanes < out.nF; ++b) {
    face_batch batch;
    for (int l = 0; l < kLanes; ++l) {
      const test::face_values& v = fv[b * kLanes + l < out.nF ? b * kLanes + l : b * kLanes];
      for (int k = 0; k < 3; ++k) {
        batch.geo.d[k].set(l, {v.d[k][0], v.d[k][1], v.d[k][2]});
        batch.r.q[membrane::g0 + k][l] = v.g[k];
        batch.r.q[membrane::c0 + k][l] = (1.3 * -0.25) * v.g[k] / v.A_r;
      }
      batch.r.q[membrane::A_r][l] = v.A_r;
      batch.r.q[membrane::S_r][l] = v.S_r;
      batch.q.S_d[l] = v.S_d;
      batch.q.r[l] = v.r;
    }
    out.faces.push_back(batch);
  }
  for (int b = 0; b * kLanes < out.nH; ++b) {
    hinge_batch batch;
    for (int l = 0; l < kLanes; ++l) {
      const test::hinge_values& v = hv[b * kLanes + l < out.nH ? b * kLanes + l : b * kLanes];
      for (int i = 0; i < 4; ++i) batch.e.X[i].set(l, {v.Q[i][0], v.Q[i][1], v.Q[i][2]});
      batch.q.u1.set(l, {v.u1[0], v.u1[1], v.u1[2]});
      batch.q.u2.set(l, {v.u2[0], v.u2[1], v.u2[2]});
      batch.geo.lN1[l] = v.lN1;
      batch.geo.lN2[l] = v.lN2;
      batch.q.delta[l] = v.delta;
      batch.r.q[bending::w_h][l] = v.w_h;
    }
    out.hinges.push_back(batch);
  }
  out.face_blocks.resize(out.faces.size() * 81 * kLanes);
  out.hinge_blocks.resize(out.hinges.size() * 144 * kLanes);
  return out;
}

// The passes, as kernels of the one dispatcher: each is compiled once per
// instruction set.
struct faces_pass {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void run(const face_batch* in, int batches, double mu, double* out) {
    const membrane::coefficients k(mu);
    for (int b = 0; b < batches; ++b) {
      double H[81][kLanes];
      membrane::hessian<Isa, kLanes>(in[b].e, in[b].geo, in[b].r, in[b].q, k, H);
      std::memcpy(out + b * 81 * kLanes, H, sizeof H);
    }
  }
};

struct hinges_pass {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE void run(const hinge_batch* in, int batches, double eta,
                                       double* out) {
    const bending::coefficients k(eta);
    for (int b = 0; b < batches; ++b) {
      double H[144][kLanes];
      bending::hessian<Isa, kLanes>(in[b].e, in[b].geo, in[b].r, in[b].q, k, H);
      std::memcpy(out + b * 144 * kLanes, H, sizeof H);
    }
  }
};

// Returns the sweeps summed over the batches.
template <int P>
struct project_pass {
  template <class Isa>
  static LAMINA_ALWAYS_INLINE long run(psd_mode mode, const double* in, int batches, double* out) {
    long sweeps = 0;
    for (int b = 0; b < batches; ++b) {
      double H[9 * P * P][kLanes];
      std::memcpy(H, in + b * 9 * P * P * kLanes, sizeof H);
      sweeps += mode == psd_mode::clamp ? detail::project_psd<Isa, psd_mode::clamp, P, kLanes>(H)
                                        : detail::project_psd<Isa, psd_mode::abs, P, kLanes>(H);
      std::memcpy(out + b * 9 * P * P * kLanes, H, sizeof H);
    }
    return sweeps;
  }
};

// The CPU time of this thread, in nanoseconds: the machine is shared, and
// time spent waiting for a core would otherwise count.
double thread_ns() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

// Median of `reps` timings of f(), in nanoseconds of thread CPU time.
template <class F>
double median_ns(int reps, F f) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    const double start = thread_ns();
    f();
    t.push_back(thread_ns() - start);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

int run(bool smoke, const char* only) {
  const int n = smoke ? 12 : 100, reps = smoke ? 1 : 15;
  std::printf("%-8s %-7s %10s %10s %14s %14s %14s %14s %9s %9s\n", "path", "deform", "face ns",
              "hinge ns", "face clamp ns", "face abs ns", "hinge clamp ns", "hinge abs ns",
              "sweeps f", "sweeps h");
  for (double noise : {0.3, 1.5}) {
    elements e = sheet(n, noise, 42);
    const int fb = static_cast<int>(e.faces.size()), hb = static_cast<int>(e.hinges.size());
    std::vector<double> out(std::max(e.face_blocks.size(), e.hinge_blocks.size()));
    for (isa path : test::supported_paths()) {
      if (only != nullptr && std::strcmp(only, test::path_name(path)) != 0) continue;
      const double face = median_ns(
          reps, [&] { dispatch<faces_pass>(path, e.faces.data(), fb, 1.3, e.face_blocks.data()); });
      const double hinge = median_ns(reps, [&] {
        dispatch<hinges_pass>(path, e.hinges.data(), hb, 0.7, e.hinge_blocks.data());
      });
      long sweeps_f = 0, sweeps_h = 0;
      double proj[2][2];
      for (psd_mode mode : {psd_mode::clamp, psd_mode::abs}) {
        const int m = mode == psd_mode::clamp ? 0 : 1;
        proj[m][0] = median_ns(reps, [&] {
          sweeps_f = dispatch<project_pass<3>>(path, mode, e.face_blocks.data(), fb, out.data());
        });
        proj[m][1] = median_ns(reps, [&] {
          sweeps_h = dispatch<project_pass<4>>(path, mode, e.hinge_blocks.data(), hb, out.data());
        });
      }
      std::printf("%-8s %-7s %10.1f %10.1f %14.1f %14.1f %14.1f %14.1f %9.2f %9.2f\n",
                  test::path_name(path), noise < 1 ? "mild" : "strong", face / e.nF, hinge / e.nH,
                  proj[0][0] / e.nF, proj[1][0] / e.nF, proj[0][1] / e.nH, proj[1][1] / e.nH,
                  static_cast<double>(sweeps_f) / fb, static_cast<double>(sweeps_h) / hb);
      const double per_face = static_cast<double>(e.nH) / e.nF;
      std::printf(
          "         per face, %.2f hinges per face: exact %.1f ns, projected (clamp) %.1f ns\n",
          per_face, face / e.nF + per_face * hinge / e.nH,
          (face + proj[0][0]) / e.nF + per_face * (hinge + proj[0][1]) / e.nH);
    }
  }
  return 0;
}

}  // namespace
}  // namespace lamina

int main(int argc, char** argv) {
  const bool smoke = argc > 1 && std::strcmp(argv[1], "--smoke") == 0;
  return lamina::run(smoke, argc > 1 && !smoke ? argv[1] : nullptr);
}

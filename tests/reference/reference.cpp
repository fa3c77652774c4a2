#include "reference.h"

#include <cmath>
#include <cstddef>

namespace lamina {
namespace reference {
namespace {

std::int32_t to_index(double x) {
  if (x > -2147483649.0 && x < 2147483648.0) return static_cast<std::int32_t>(x);
  return INT32_MIN;
}

struct v3 {
  double x, y, z;
};

v3 row(const double* m, std::int32_t i, std::int32_t nV) {
  const std::ptrdiff_t s = nV;
  return {m[i], m[i + s], m[i + 2 * s]};
}
v3 sub(v3 u, v3 v) { return {u.x - v.x, u.y - v.y, u.z - v.z}; }
v3 cross(v3 u, v3 v) {
  return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}
double dot(v3 u, v3 v) { return (u.x * v.x + u.y * v.y) + u.z * v.z; }
void add(double* g, std::int32_t i, std::int32_t nV, double x, double y, double z) {
  const std::ptrdiff_t s = nV;
  g[i] = x + g[i];
  g[i + s] = y + g[i + s];
  g[i + 2 * s] = z + g[i + 2 * s];
}

double membrane(const double* F, std::int32_t nF, const double* P, const double* Q, std::int32_t nV,
                double mu, double* g) {
  double total = 0.0;
  if (nF <= 0) return total;
  const double mu8 = mu * 0.125, mu4 = mu * 0.25, mu34 = mu * 0.5 + mu * 0.25;
  const double neg_mu4 = mu * (-0.25);
  for (std::int32_t j = 0; j < nF; ++j) {
    std::int32_t i[3];
    for (int k = 0; k < 3; ++k) i[k] = to_index(F[j + k * static_cast<std::ptrdiff_t>(nF)]);
    const v3 P0 = row(P, i[0], nV), P1 = row(P, i[1], nV), P2 = row(P, i[2], nV);
    const v3 Q0 = row(Q, i[0], nV), Q1 = row(Q, i[1], nV), Q2 = row(Q, i[2], nV);
    const v3 e[3] = {sub(P2, P1), sub(P0, P2), sub(P1, P0)};
    const v3 d[3] = {sub(Q2, Q1), sub(Q0, Q2), sub(Q1, Q0)};
    const double Nx = e[0].y * e[1].z - e[1].y * e[0].z;
    const double Ny = e[1].x * e[0].z - e[0].x * e[1].z;
    const double Nz = e[0].x * e[1].y - e[1].x * e[0].y;
    const double S_r = ((Nx * Nx + Ny * Ny) + Nz * Nz) * 0.25;
    const double A_r = std::sqrt(S_r);
    const double Mx = d[0].y * d[1].z - d[1].y * d[0].z;
    const double My = d[1].x * d[0].z - d[0].x * d[1].z;
    const double Mz = d[0].x * d[1].y - d[1].x * d[0].y;
    const double S_d = ((Mx * Mx + My * My) + Mz * Mz) * 0.25;
    const double r = S_d / S_r;
    const double L = r < 1e-20 ? std::log(1e-20) + (r - 1e-20) / 1e-20 : std::log(r);
    const double G[3] = {dot(e[2], e[1]), dot(e[2], e[0]), dot(e[1], e[0])};
    const double T =
        ((0.0 - dot(d[0], d[0]) * G[0]) - dot(d[1], d[1]) * G[1]) - dot(d[2], d[2]) * G[2];
    total = total + ((mu8 * T + mu4 * S_d) / A_r - ((mu34 * L + mu) + mu4) * A_r);
    if (g == nullptr) continue;

    const double A_d = std::sqrt(S_d);
    const double q = r < 1e-20 ? (A_d / A_r) / 1e-20 : A_r / A_d;
    const double c[3] = {(neg_mu4 * G[0]) / A_r, (neg_mu4 * G[1]) / A_r, (neg_mu4 * G[2]) / A_r};
    const double s = ((mu4 * A_d) / A_r - mu34 * q) * 2.0;
    for (int k = 0; k < 3; ++k) {
      const int a = (k + 1) % 3, b = (k + 2) % 3;
      const v3 da = d[a], db = d[b], dk = d[k];
      const double nx0 = da.y * db.z - da.z * db.y;
      const double ny0 = db.x * da.z - da.x * db.z;
      const double nz0 = da.x * db.y - db.x * da.y;
      const double NN = (nx0 * nx0 + ny0 * ny0) + nz0 * nz0;
      double nx = nx0, ny = ny0, nz = nz0;
      if (NN > 1e-30) {
        const double den = std::sqrt(NN) * 2.0;
        nx = nx0 / den;
        ny = ny0 / den;
        nz = nz0 / den;
      }
      const double wx = ny * dk.z - nz * dk.y;
      const double wy = nz * dk.x - nx * dk.z;
      const double wz = nx * dk.y - ny * dk.x;
      add(g, i[k], nV, (s * wx + c[a] * da.x) - c[b] * db.x, (s * wy + c[a] * da.y) - c[b] * db.y,
          (s * wz + c[a] * da.z) - c[b] * db.z);
    }
  }
  return total;
}

// (I - u u^T) v, summed over j = x, y, z from 0.0, times k.
v3 project(v3 u, v3 v, double k) {
  const double U[3] = {u.x, u.y, u.z}, V[3] = {v.x, v.y, v.z};
  double p[3];
  for (int i = 0; i < 3; ++i) {
    double sum = 0.0;
    for (int j = 0; j < 3; ++j) sum = sum + ((i == j ? 1.0 : 0.0) - U[i] * U[j]) * V[j];
    p[i] = sum * k;
  }
  return {p[0], p[1], p[2]};
}

void add_cross(double* g, std::int32_t i, std::int32_t nV, v3 p, v3 lever, double length) {
  const v3 l = {lever.x / length, lever.y / length, lever.z / length};
  const v3 c = cross(p, l);
  add(g, i, nV, c.x, c.y, c.z);
}

double bending(const double* E, std::int32_t nE, const double* P, const double* Q, std::int32_t nV,
               double eta, double* g, double* valid) {
  double total = 0.0;
  if (nE <= 0) return total;
  const std::ptrdiff_t s = nE;
  for (std::int32_t j = 0; j < nE; ++j) {
    const std::int32_t c = to_index(E[j + 2 * s]), d = to_index(E[j + 3 * s]);
    if ((c < d ? c : d) < 0) continue;
    const std::int32_t a = to_index(E[j]), b = to_index(E[j + s]);
    double cos_r = 0, w_h = 0;
    if (valid == nullptr) {
      const v3 Pa = row(P, a, nV);
      const v3 e_r = sub(row(P, b, nV), Pa);
      const v3 R1 = cross(e_r, sub(row(P, c, nV), Pa));
      const v3 R2 = cross(sub(row(P, d, nV), Pa), e_r);
      const double lR1 = std::sqrt(dot(R1, R1)), lR2 = std::sqrt(dot(R2, R2));
      cos_r = (dot(R1, R2) / lR1) / lR2;
      w_h = dot(e_r, e_r) / (0.5 * lR2 + 0.5 * lR1);
    }
    const v3 Qa = row(Q, a, nV), Qb = row(Q, b, nV), Qc = row(Q, c, nV);
    const v3 e_d = sub(Qb, Qa);
    const v3 N1 = cross(e_d, sub(Qc, Qa));
    const double lN1 = std::sqrt(dot(N1, N1));
    if (lN1 < 1e-10) continue;
    const v3 Qd = row(Q, d, nV);
    const v3 N2 = cross(sub(Qd, Qa), e_d);
    const double lN2 = std::sqrt(dot(N2, N2));
    if (lN2 < 1e-10) continue;
    if (valid != nullptr) {
      valid[j] = 1.0;
      continue;
    }
    const v3 u1 = {N1.x / lN1, N1.y / lN1, N1.z / lN1};
    const v3 u2 = {N2.x / lN2, N2.y / lN2, N2.z / lN2};
    const double delta = dot(u1, u2) - cos_r;
    total = total + ((delta * eta) * delta) * w_h;
    if (g == nullptr) continue;
    const double k_h = delta * ((eta * 2.0) * w_h);
    const v3 p1 = project(u1, u2, k_h), p2 = project(u2, u1, k_h);
    add_cross(g, c, nV, p1, sub(Qb, Qa), lN1);
    add_cross(g, d, nV, p2, sub(Qa, Qb), lN2);
    add_cross(g, a, nV, p1, sub(Qc, Qb), lN1);
    add_cross(g, a, nV, p2, sub(Qb, Qd), lN2);
    add_cross(g, b, nV, p1, sub(Qa, Qc), lN1);
    add_cross(g, b, nV, p2, sub(Qd, Qa), lN2);
  }
  return total;
}

}  // namespace

double membrane_energy(const double* F, std::int32_t nF, const double* P, const double* Q,
                       std::int32_t nV, double mu) {
  return membrane(F, nF, P, Q, nV, mu, nullptr);
}

double membrane_energy_and_gradient(const double* F, std::int32_t nF, const double* P,
                                    const double* Q, std::int32_t nV, double mu, double* g) {
  for (std::ptrdiff_t i = 0; i < 3 * static_cast<std::ptrdiff_t>(nV); ++i) g[i] = 0.0;
  return membrane(F, nF, P, Q, nV, mu, g);
}

double bending_energy(const double* E, std::int32_t nE, const double* P, const double* Q,
                      std::int32_t nV, double eta) {
  return bending(E, nE, P, Q, nV, eta, nullptr, nullptr);
}

double bending_energy_and_gradient(const double* E, std::int32_t nE, const double* P,
                                   const double* Q, std::int32_t nV, double eta, double* g) {
  return bending(E, nE, P, Q, nV, eta, g, nullptr);
}

void flag_valid_edges(const double* E, std::int32_t nE, const double* P, const double* Q,
                      std::int32_t nV, double* valid) {
  for (std::int32_t i = 0; i < nE; ++i) valid[i] = 0.0;
  bending(E, nE, P, Q, nV, 0.0, nullptr, valid);
}

double shell_energy_and_gradient(const double* Q, std::int32_t nV, double mu, double eta,
                                 const double* P, const double* F, std::int32_t nF, const double* E,
                                 std::int32_t nE, double* g) {
  const double Em = membrane_energy_and_gradient(F, nF, P, Q, nV, mu, g);
  const double Eb = bending_energy_and_gradient(E, nE, P, Q, nV, eta, g);
  return Eb + Em;
}

double shell_energy(const double* Q, std::int32_t nV, double mu, double eta, const double* P,
                    const double* F, std::int32_t nF, const double* E, std::int32_t nE) {
  const double Eb = bending_energy(E, nE, P, Q, nV, eta);
  const double Em = membrane_energy(F, nF, P, Q, nV, mu);
  return Eb + Em;
}

}  // namespace reference
}  // namespace lamina

"""Inverse design: the rest shape that hangs exactly as designed.

The Python twin of inverse_design.m. A unit square sheet (10-by-10 vertices,
mu = 10, eta = 1, the dihedral bending model) is clamped along its side
x = 0 and loaded by gravity, f_z = -2 / nV on every vertex. Wanted: the rest
shape X whose equilibrium under that load is the target T, the sheet drooping
to z = -0.15 x^2.

Two choices the mechanics makes:
- The clamp holds the first two columns of vertices (x = 0 and x = 1/9), at
  their target positions. Holding the positions of one line of vertices makes
  a hinge, not a clamp: the internal forces are unchanged by a rotation of
  the deformed sheet about that line, so their moment about it on the free
  vertices is zero for every rest shape, and the weight's moment could never
  be balanced (that component of r stays at its start whatever X is).
- The bending model is the dihedral one. The cosine model's hinge moment,
  2 eta w_h (cos theta_r - cos theta_d) sin theta_d, vanishes with the fold
  angle theta_d; the target's folds are about 0.03 rad per hinge, so carrying
  the weight would take rest folds near +-pi, and Levenberg-Marquardt from
  X = T stalls with max |r| about 1.5 times its start. The dihedral model's
  moment, 2 eta w_h (theta_d - theta_r), carries it with small rest folds.

At an equilibrium the internal forces balance the load: G(T; X) = f on the
free coordinates, with G = dE/dx the gradient in the deformed positions.
That is a square system in the free rest coordinates (the clamped vertices'
rest positions are theirs in T). Its Jacobian is the mixed Hessian
M = d G / d X, restricted to the free rows and columns, so Levenberg-
Marquardt runs on

    r(X) = G(T; X)[free] - f[free],    (J^T J + lambda I) dX = -J^T r,

with lambda divided by 3 after a step that lowers |r| and multiplied by 4
(the step retried) after one that does not. The loop holds one
lamina.Shell, moving its rest shape with Shell.set_rest and asking
Shell.rest_derivatives for G and M at T.

The design is then verified forward: lamina.solve lets the designed rest
shape hang under the load and must arrive at T. The naive design, T itself
as the rest shape, sags away from T under the same load.

    python3 examples/inverse_design.py [--png inverse_design.png]
"""

import argparse
import sys

import numpy as np
import scipy.sparse as sp
import scipy.sparse.linalg as spla

import lamina

N = 10  # vertices per side
MU, ETA = 10.0, 1.0
BENDING = "dihedral"


def sheet(n=N):
    """The flat unit square, n-by-n vertices, two triangles per cell."""
    i, j = np.arange(n * n) % n, np.arange(n * n) // n
    V = np.column_stack([i / (n - 1), j / (n - 1), np.zeros(n * n)])
    c = np.arange((n - 1) ** 2)
    v = (c // (n - 1)) * n + c % (n - 1)
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    return V, F


def design(verbose=True):
    """Runs the design and its verification; returns a dict of the results."""
    V, F = sheet()
    nV = len(V)
    T = V.copy()
    T[:, 2] = -0.15 * V[:, 0] ** 2
    clamped = V[:, 0] <= 1.5 / (N - 1)  # the columns x = 0 and x = 1/9: a clamp, not a hinge
    fixed = np.repeat(clamped[:, None], 3, axis=1)
    free = np.flatnonzero(~fixed.ravel())  # free coordinates in G.ravel() order
    f = np.zeros((nV, 3))
    f[:, 2] = -2.0 / nV

    shell = lamina.Shell(F, T, MU, ETA, bending=BENDING)  # rest = T to start; set_rest moves it

    def residual(X):
        shell.set_rest(X)
        return shell.energy_and_gradient(T)[1].ravel()[free] - f.ravel()[free]

    X = T.copy()
    r = residual(X)
    r0 = np.abs(r).max()
    lam = None
    history = [r0]
    if verbose:
        print(f"{'iter':>4} {'|r|_inf':>12} {'lambda':>10}")
        print(f"{0:4d} {r0:12.4e} {'':>10}")
    for it in range(1, 101):
        if np.abs(r).max() <= max(1e-10 * r0, 1e-12):
            break
        shell.set_rest(X)
        _, G, _, M = shell.rest_derivatives(T)
        J = M[free][:, free]
        JtJ = (J.T @ J).tocsc()
        g = J.T @ r
        if lam is None:  # a scale-aware start: a thousandth of J^T J's largest diagonal entry
            lam = 1e-3 * JtJ.diagonal().max()
        while True:
            dX = spla.spsolve((JtJ + lam * sp.identity(len(free), format="csc")).tocsc(), -g)
            trial = X.copy()
            trial.ravel()[free] += dX
            r_trial = residual(trial)
            if np.linalg.norm(r_trial) < np.linalg.norm(r):
                X, r = trial, r_trial
                lam /= 3
                break
            lam *= 4
            if lam > 1e20:
                sys.exit("Levenberg-Marquardt: no step lowers the residual")
        history.append(np.abs(r).max())
        if verbose:
            print(f"{it:4d} {history[-1]:12.4e} {lam:10.2e}")
    residual_ratio = np.abs(r).max() / r0

    # Forward: the designed rest shape, let go under the load, hangs at T.
    forward = lamina.solve(X, MU, ETA, F, X, lamina.edge_table(F), fixed=fixed, forces=f, tol=1e-10,
                           bending=BENDING, max_iter=500)
    forward_error = np.abs(forward.x - T).max()
    # Naive: T itself as the rest shape.
    naive = lamina.solve(T, MU, ETA, F, T, lamina.edge_table(F), fixed=fixed, forces=f, tol=1e-10,
                         bending=BENDING, max_iter=500)
    naive_sag = np.abs(naive.x - T).max()
    if verbose:
        print(f"residual: {np.abs(r).max():.3e} = {residual_ratio:.3e} of its start, "
              f"{len(history) - 1} iterations")
        print(f"forward check: the designed rest shape hangs {forward_error:.3e} from the target "
              f"({forward.nit} Newton iterations, {forward.message})")
        print(f"naive design (rest = target): sags {naive_sag:.4f} from the target, "
              f"tip z {naive.x[V[:, 0] == 1, 2].mean():.4f} against {T[V[:, 0] == 1, 2].mean():.4f}")
    return dict(F=F, target=T, rest=X, naive=naive.x, residual_ratio=residual_ratio,
                residual=np.abs(r).max(), forward_error=forward_error, naive_sag=naive_sag,
                iterations=len(history) - 1, clamped=clamped)


def draw(path, out):
    """Target, designed rest shape and naive result side by side (Agg)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    panels = [("target (designed equilibrium)", out["target"]), ("designed rest shape", out["rest"]),
              (f"naive: rest = target, sags {out['naive_sag']:.3f}", out["naive"])]
    zs = np.concatenate([p[1][:, 2] for p in panels])
    figure = plt.figure(figsize=(12, 4.2), dpi=80)
    for k, (title, P) in enumerate(panels):
        ax = figure.add_subplot(1, 3, k + 1, projection="3d")
        ax.plot_trisurf(P[:, 0], P[:, 1], P[:, 2], triangles=out["F"], cmap="viridis",
                        vmin=zs.min(), vmax=zs.max(), edgecolor="k", linewidth=0.2)
        if k == 2:  # the target's outline, for the sag
            T = out["target"]
            edge = T[:, 1] == 0
            ax.plot(T[edge, 0], T[edge, 1], T[edge, 2], "r--", linewidth=1)
        c = out["clamped"]
        ax.scatter(P[c, 0], P[c, 1], P[c, 2], color="red", s=8)
        ax.set_zlim(zs.min(), max(zs.max(), 0.05))
        ax.set_title(title, fontsize=10)
        ax.view_init(elev=18, azim=-60)
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--png", default="inverse_design.png", help="where the picture goes")
    parser.add_argument("--no-png", action="store_true", help="draw no picture")
    args = parser.parse_args(argv)
    out = design()
    if not args.no_png:
        draw(args.png, out)
        print(f"picture: {args.png}")
    return out


if __name__ == "__main__":
    main()

"""Bend and stretch a sheet, then let it relax by Newton's method.

The Python twin of lamina_demo.m: the same 2.0-by-1.5 sheet of 2400
triangles, bent and stretched the same way, with the edge x = 0 pinned where
the deformation put it, squeezed to 80% of its length, so that the sheet
cannot simply return to its rest shape. The gradient and the Hessian are
checked against central differences; then the sheet relaxes twice, until
max |gradient| is 1e-8 of its start: with Shell.solve (projected Newton on
CHOLMOD) and with scipy.optimize.minimize's L-BFGS-B on lamina's gradient
alone. The demo prints both histories side by side, checks that the mask
counts the hinges, and draws the rest, deformed and relaxed shapes,
coloured by height.

    python3 examples/lamina_demo.py [--png lamina_demo.png] [--iterations 2000]
"""

import argparse
import sys
import time

import numpy as np
import scipy.optimize

import lamina


def sheet(nx=41, ny=31):
    """The rest mesh of lamina_demo.m: an nx-by-ny grid on [0, 2] x [0, 1.5],
    two triangles per cell, vertex (i, j) in row j nx + i, 0-based faces."""
    i, j = np.arange(nx * ny) % nx, np.arange(nx * ny) // nx
    V = np.column_stack([2.0 * i / (nx - 1), 1.5 * j / (ny - 1), np.zeros(nx * ny)])
    c = np.arange((nx - 1) * (ny - 1))
    v = (c // (nx - 1)) * nx + c % (nx - 1)  # lower-left corner of each cell
    F = np.concatenate([np.column_stack([v, v + 1, v + nx + 1]), np.column_stack([v, v + nx + 1, v + nx])])
    return V, F


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--png", default="lamina_demo.png", help="where the picture goes")
    parser.add_argument("--iterations", type=int, default=2000, help="most L-BFGS iterations")
    args = parser.parse_args(argv)

    V, F = sheet()
    E = lamina.edge_table(F)
    interior = int(np.count_nonzero(E[:, 3] >= 0))
    print(f"rest mesh: {len(V)} vertices, {len(F)} faces, {len(E)} edge rows ({interior} interior)")

    # Deform: stretch along x by 20%, bend into a parabola, and squeeze the
    # pinned edge x = 0 to 80% of its length about its middle.
    Q = V.copy()
    Q[:, 0] = 1.2 * V[:, 0]
    Q[:, 2] = 0.35 * V[:, 0] ** 2
    pinned = V[:, 0] == 0
    Q[pinned, 1] = 0.75 + 0.8 * (V[pinned, 1] - 0.75)
    mu, eta = 1.0, 0.02

    shell = lamina.Shell(F, V, mu, eta, E)
    energy, G, H = shell.energy_gradient_hessian(Q)
    print(f"deformed energy: {energy:.6f} (membrane + bending)")

    # The gradient and a column of the Hessian against central differences.
    print(f"\n{'coordinate':<12} {'derivative':>14} {'central diff.':>14} {'rel. error':>10}")
    h = 1e-6
    g = G.ravel()
    large = np.flatnonzero(np.abs(g) > 0.05 * np.abs(g).max())
    for index in large[np.round(np.linspace(0, len(large) - 1, 4)).astype(int)]:
        step = np.zeros(Q.size)
        step[index] = h
        plus, minus = Q + step.reshape(Q.shape), Q - step.reshape(Q.shape)
        fd = (shell.energy(plus) - shell.energy(minus)) / (2 * h)
        print(f"{'G' + str(divmod(index, 3)):<12} {g[index]:14.8f} {fd:14.8f} {abs(fd - g[index]) / abs(g[index]):10.2e}")
        fd = (shell.energy_and_gradient(plus)[1] - shell.energy_and_gradient(minus)[1]).ravel() / (2 * h)
        column = H[:, index].toarray().ravel()
        print(f"{'H[:, ' + str(index) + ']':<12} {np.linalg.norm(column):14.8f} {np.linalg.norm(fd):14.8f} "
              f"{np.linalg.norm(fd - column) / np.linalg.norm(column):10.2e}")

    # Relax the free coordinates twice: with Shell.solve, and with L-BFGS-B
    # on the gradient alone (G.ravel() order: 3 i + k).
    held = np.repeat(pinned[:, None], 3, axis=1)
    free = ~held.ravel()
    tolerance = 1e-8 * np.abs(G.ravel()[free]).max()
    newton = shell.solve(Q, fixed=held)

    def shape(x):
        R = Q.ravel().copy()
        R[free] = x
        return R.reshape(Q.shape)

    lbfgs = []
    clock = time.perf_counter()

    def evaluate(x):
        e, G = shell.energy_and_gradient(shape(x))
        return e, G.ravel()[free]

    def record(x):
        e, g = evaluate(x)
        lbfgs.append((len(lbfgs), time.perf_counter() - clock, e, np.abs(g).max()))

    x0 = Q.ravel()[free]
    record(x0)
    result = scipy.optimize.minimize(evaluate, x0, jac=True, method="L-BFGS-B", callback=record,
                                     options={"maxiter": args.iterations, "gtol": tolerance, "ftol": 0})
    h = newton.history
    rows = {"Newton": {int(k): (t, e, g) for k, t, e, g in zip(h["iteration"], h["seconds"], h["energy"], h["grad_norm"])},
            "L-BFGS": {k: (t, e, g) for k, t, e, g in lbfgs}}
    print(f"\nrelaxation, until max |gradient| <= 1e-8 of its start ({tolerance:.3e}):")
    print(f"{'iteration':>9} | {'seconds':>8} {'Newton energy':>14} {'max|grad|':>11} | "
          f"{'seconds':>8} {'L-BFGS energy':>14} {'max|grad|':>11}")
    last = {name: max(r) for name, r in rows.items()}
    shown = sorted(set(range(11)) | set(range(20, 101, 10)) | set(range(1000, 100001, 1000)) | set(last.values()))
    for k in shown:
        cells = []
        for name in ("Newton", "L-BFGS"):
            if k in rows[name]:
                cells.append("{:8.3f} {:14.10f} {:11.3e}".format(*rows[name][k]))
            else:
                cells.append(" " * 35)
        if any(k in r for r in rows.values()):
            print(f"{k:9d} | {cells[0]} | {cells[1]}")
    print(f"Shell.solve: {newton.nit} iterations, {h['seconds'][-1]:.2f} s, "
          f"{'converged' if newton.success else 'stopped'}; L-BFGS-B: {last['L-BFGS']} iterations, "
          f"{lbfgs[-1][1]:.2f} s, {'converged' if lbfgs[-1][3] <= tolerance else 'stopped'}")
    print(f"Shell.solve says: {newton.message}")
    if not newton.success:
        sys.exit("Shell.solve did not converge")
    R = newton.x
    relaxed = newton.energy
    print(f"energy fell from {energy:.6f} to {relaxed:.6f} "
          f"({100 * relaxed / energy:.1f}% of the deformed energy remains)")
    if not relaxed < energy:
        sys.exit("the energy did not fall")
    mask = lamina.hinge_mask(R, E)
    print(f"hinge_mask: {mask.sum()} of {len(mask)} edge rows carry a bending term; {interior} are interior edges")
    if mask.sum() != interior:
        sys.exit("the mask does not count the hinges")

    draw(args.png, F, [V, Q, R], pinned,
         ["rest", f"deformed: energy {energy:.4f}", f"relaxed (Shell.solve), edge x = 0 pinned: energy {relaxed:.4f}"])
    print(f"picture: {args.png}")


def draw(path, F, shapes, pinned, titles):
    """Rest, deformed and relaxed shapes coloured by height, the pinned edge
    in red, one colour bar for all three; headless (Agg)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure = plt.figure(figsize=(18, 6.4), dpi=80)
    for k, (P, title) in enumerate(zip(shapes, titles)):
        ax = figure.add_axes([0.005 + 0.3 * k, 0.03, 0.3, 0.88], projection="3d")
        ax.patch.set_alpha(0)  # so that no panel hides its left neighbour's labels
        surface = ax.plot_trisurf(P[:, 0], P[:, 1], P[:, 2], triangles=F, cmap="jet", vmin=0.0, vmax=1.4,
                                  linewidth=0, antialiased=False)
        edge = P[pinned]
        ax.plot(edge[:, 0], edge[:, 1], edge[:, 2], color="red", linewidth=4, zorder=10)
        ax.set(xlim=(-0.05, 2.45), ylim=(-0.05, 1.55), zlim=(0, 1.45), xlabel="x", ylabel="y", zlabel="z")
        ax.set_box_aspect((2.5, 1.6, 1.5), zoom=0.9)
        ax.view_init(elev=25, azim=-50)
        ax.set_title(title, fontsize=14)
    bar = figure.colorbar(surface, cax=figure.add_axes([0.925, 0.2, 0.012, 0.6]))
    bar.set_label("height z")
    figure.savefig(path)
    plt.close(figure)


if __name__ == "__main__":
    main()

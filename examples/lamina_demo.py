"""Bend and stretch a sheet, then let it relax by Newton's method.

The Python twin of lamina_demo.m: the same 2.0-by-1.5 sheet of 2400
triangles, bent and stretched the same way, with the edge x = 0 pinned where
the deformation put it, squeezed to 80% of its length, so that the sheet
cannot simply return to its rest shape. The gradient and the Hessian are
checked against central differences; then scipy.optimize.minimize relaxes
the free coordinates with Newton-CG, using lamina's gradient and its
Hessian projected onto the positive semi-definite cone (project="clamp").
The demo prints the energy as it falls, checks that the mask counts the
hinges, and draws the rest, deformed and relaxed shapes, coloured by height.

    python3 examples/lamina_demo.py [--png lamina_demo.png] [--iterations 200]
"""

import argparse
import sys

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
    parser.add_argument("--iterations", type=int, default=200, help="most Newton iterations")
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

    # Relax the free coordinates (G.ravel() order: 3 i + k) by Newton-CG.
    free = np.repeat(~pinned, 3)
    index = np.flatnonzero(free)

    def shape(x):
        R = Q.ravel().copy()
        R[free] = x
        return R.reshape(Q.shape)

    cache = {}

    def evaluate(x):
        key = x.tobytes()
        if key not in cache:
            cache.clear()
            cache[key] = shell.energy_and_gradient(shape(x))
        return cache[key]

    hessians = {}

    def hessian_times(x, p):
        """The projected Hessian of the free coordinates, times p."""
        key = x.tobytes()
        if key not in hessians:
            hessians.clear()
            _, _, H = shell.energy_gradient_hessian(shape(x), project="clamp")
            hessians[key] = H[index][:, index]
        return hessians[key] @ p

    history = []

    def report(x):
        """Records the iteration; prints the first ten, then every tenth."""
        e, G = evaluate(x)
        history.append((len(history), e, np.linalg.norm(G.ravel()[free])))
        if history[-1][0] <= 10 or history[-1][0] % 10 == 0:
            print("{:9d} {:16.8f} {:14.6e}".format(*history[-1]))

    print(f"\n{'iteration':>9} {'energy':>16} {'|gradient|':>14}")
    x0 = Q.ravel()[free]
    report(x0)
    result = scipy.optimize.minimize(
        lambda x: evaluate(x)[0], x0, jac=lambda x: evaluate(x)[1].ravel()[free], hessp=hessian_times,
        method="Newton-CG", callback=report, options={"maxiter": args.iterations, "xtol": 1e-9})
    if history[-1][0] > 10 and history[-1][0] % 10 != 0:
        print("{:9d} {:16.8f} {:14.6e}".format(*history[-1]))
    R = shape(result.x)
    relaxed = shell.energy(R)
    print(f"\n{result.message.strip()} ({result.nit} iterations, {result.nfev} energy evaluations, "
          f"{result.nhev} Hessian products)")
    print(f"energy fell from {energy:.6f} to {relaxed:.6f} "
          f"({100 * relaxed / energy:.1f}% of the deformed energy remains)")
    if not relaxed < energy:
        sys.exit("the energy did not fall")
    mask = lamina.hinge_mask(R, E)
    print(f"hinge_mask: {mask.sum()} of {len(mask)} edge rows carry a bending term; {interior} are interior edges")
    if mask.sum() != interior:
        sys.exit("the mask does not count the hinges")

    draw(args.png, F, [V, Q, R], pinned,
         ["rest", f"deformed: energy {energy:.4f}", f"relaxed, edge x = 0 pinned: energy {relaxed:.4f}"])
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

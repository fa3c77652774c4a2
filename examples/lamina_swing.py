"""A sheet pinned at two corners falls and swings under gravity.

The Python twin of lamina_swing.m: a 1-by-1 sheet of 800 triangles, held
flat and horizontal, is let go with two corners of one side pinned, and
implicit Euler moves it through time steps of 1/40 s, each one call of
Shell.solve, which minimises

    W(x) = E(x) - sum(m g . x) + sum(m |x - y|^2) / (2 h^2),  y = x_n + h v_n,

over the free coordinates; its minimiser is x_{n+1}, and v_{n+1} =
(x_{n+1} - x_n) / h. The demo prints each step and draws eight frames of the
swing, coloured by speed, the pinned corners in red.

    python3 examples/lamina_swing.py [--png lamina_swing.png] [--steps 48]
"""

import argparse
import sys

import numpy as np

import lamina


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--png", default="lamina_swing.png", help="where the picture goes")
    parser.add_argument("--steps", type=int, default=48, help="implicit-Euler steps of 1/40 s")
    args = parser.parse_args(argv)

    # 21-by-21 vertices on the unit square, two corners of the side y = 0 pinned.
    n = 21
    i, j = np.arange(n * n) % n, np.arange(n * n) // n
    V = np.column_stack([i / (n - 1), j / (n - 1), np.zeros(n * n)])
    c = np.arange((n - 1) ** 2)
    v = (c // (n - 1)) * n + c % (n - 1)
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    pinned = (j == 0) & ((i == 0) | (i == n - 1))
    held = np.repeat(pinned[:, None], 3, axis=1)
    shell = lamina.Shell(F, V, 200.0, 0.05)  # mu, eta: a few percent of stretch under its weight

    # A total mass of 1, lumped by area; gravity; the time step.
    area = 0.5 * np.linalg.norm(np.cross(V[F[:, 1]] - V[F[:, 0]], V[F[:, 2]] - V[F[:, 0]]), axis=1)
    m = np.bincount(F.ravel(), np.repeat(area / 3, 3), n * n)
    m /= m.sum()
    f = m[:, None] * np.array([0.0, 0.0, -9.81])
    h = 1 / 40

    x, velocity = V.copy(), np.zeros_like(V)
    keep = set(np.round(np.linspace(0, args.steps, 8)).astype(int))
    frames, times = [x], [0.0]
    corners = (j == n - 1) & ((i == 0) | (i == n - 1))
    print(f"{'step':>5} {'time':>7} {'iterations':>10} {'free corners z':>16} {'kinetic':>12}")
    for step in range(1, args.steps + 1):
        r = shell.solve(x, fixed=held, forces=f, mass=m, time_step=h, target=x + h * velocity)
        if not r.success:
            sys.exit(r.message)
        velocity = (r.x - x) / h
        x = r.x
        kinetic = 0.5 * (m * (velocity ** 2).sum(axis=1)).sum()
        print(f"{step:5d} {step * h:7.3f} {r.nit:10d} {x[corners, 2].mean():16.4f} {kinetic:12.5f}")
        if step in keep:
            frames.append(x)
            times.append(step * h)
    if not np.array_equal(x[held], V[held]):
        sys.exit("a pinned corner moved")
    draw(args.png, F, frames, times, pinned)
    print(f"picture: {args.png}")


def draw(path, F, frames, times, pinned):
    """The frames side by side, coloured by speed; headless (Agg)."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    count = len(frames)
    figure = plt.figure(figsize=(3 * count, 3.6), dpi=80)
    speeds = [np.zeros(len(frames[0]))] + [np.linalg.norm(b - a, axis=1) / (t1 - t0)
                                            for a, b, t0, t1 in zip(frames, frames[1:], times, times[1:])]
    top = max(s.max() for s in speeds) or 1.0
    for k, (P, s, t) in enumerate(zip(frames, speeds, times)):
        ax = figure.add_axes([k / count, 0.0, 1 / count, 0.9], projection="3d")
        surface = ax.plot_trisurf(P[:, 0], P[:, 1], P[:, 2], triangles=F, cmap="jet", linewidth=0,
                                  antialiased=False)
        surface.set_array(s[F].mean(axis=1))
        surface.set_clim(0, top)
        ax.scatter(*P[pinned].T, color="red", s=40, depthshade=False)
        ax.set(xlim=(-0.1, 1.1), ylim=(-1.1, 1.1), zlim=(-1.1, 0.1))
        ax.set_box_aspect((1.2, 2.2, 1.2))
        ax.view_init(elev=12, azim=-60)
        ax.set_axis_off()
        ax.set_title(f"t = {t:.2f} s", fontsize=12)
    figure.savefig(path)
    plt.close(figure)


if __name__ == "__main__":
    main()

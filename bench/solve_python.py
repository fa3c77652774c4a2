"""Shell.solve against the projected-Newton loop users write with SciPy, in one run.

    python3 bench/solve_python.py [--n 40] [--rounds 3]

The problem is bench/solve_cantilever.m's: an n-by-n sheet on the unit
square, mu = eta = 10, its columns x = 0 and x = 1/(n - 1) held, a weight of
2 shared by the vertices in proportion to their areas, from a slight sag.

The plain loop: energy_gradient_hessian(project="clamp"), H[free][:, free],
scipy.sparse.linalg.spsolve (with a shift added, and grown tenfold, while the
step is not a descent direction), Armijo backtracking on W, halving the step.
It aims at Shell.solve's tolerance (max |grad W| at most 1e-8 of its start)
but stalls short of it where W's rounding hides the decrease its line search
looks for; it is stopped once W has not fallen by more than 1e-13 of itself
over 5 iterations, and timed up to the iteration where max |grad W| reached
its least value, to its advantage. Both run `rounds` times, alternating; the figures are medians.
"""

import argparse
import statistics
import time

import numpy as np
import scipy.sparse
import scipy.sparse.linalg

import lamina


def cantilever(n):
    i, j = np.arange(n * n) % n, np.arange(n * n) // n
    V = np.column_stack([i / (n - 1), j / (n - 1), np.zeros(n * n)])
    c = np.arange((n - 1) ** 2)
    v = (c // (n - 1)) * n + c % (n - 1)
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    area = 0.5 * np.linalg.norm(np.cross(V[F[:, 1]] - V[F[:, 0]], V[F[:, 2]] - V[F[:, 0]]), axis=1)
    lumped = np.bincount(F.ravel(), np.repeat(area / 3, 3), n * n)
    f = np.zeros((n * n, 3))
    f[:, 2] = -2 * lumped / lumped.sum()
    held = np.repeat((i <= 1)[:, None], 3, axis=1)
    Q = V.copy()
    Q[:, 2] = -0.05 * V[:, 0] ** 2
    return lamina.Shell(F, V, 10, 10), Q, f, held


def plain_loop(shell, Q, f, held):
    start = time.perf_counter()
    free = ~held.ravel()
    index = np.flatnonzero(free)
    x = Q.ravel().copy()

    def W(y):
        return shell.energy(y.reshape(Q.shape)) - f.ravel() @ y

    best, best_x, best_it, seconds, g0, energies = np.inf, x, 0, 0.0, None, []
    for it in range(301):
        E, G, H = shell.energy_gradient_hessian(x.reshape(Q.shape), project="clamp")
        g = (G - f).ravel()[free]
        gmax = np.abs(g).max()
        g0 = gmax if g0 is None else g0
        energies.append(E - f.ravel() @ x)
        if gmax < best:
            best, best_x, best_it, seconds = gmax, x.copy(), it, time.perf_counter() - start
        stalled = it >= 5 and energies[-6] - energies[-1] <= 1e-13 * abs(energies[-1])
        if gmax <= 1e-8 * g0 or stalled:
            break
        A = H[index][:, index].tocsc()
        shift = 0.0
        while True:
            d = scipy.sparse.linalg.spsolve(A + shift * scipy.sparse.identity(len(index), format="csc"), -g)
            if np.all(np.isfinite(d)) and g @ d < 0:
                break
            shift = max(10 * shift, 1e-8 * np.abs(A.diagonal()).mean())
        w, t = E - f.ravel() @ x, 1.0
        while True:
            y = x.copy()
            y[free] += t * d
            if W(y) <= w + 1e-4 * t * (g @ d) or t < 1e-12:
                break
            t /= 2
        x = y
    return best_x.reshape(Q.shape), best_it, best, seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--n", type=int, default=40)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    shell, Q, f, held = cantilever(args.n)
    solve_s, plain_s = [], []
    for _ in range(args.rounds):
        start = time.perf_counter()
        r = shell.solve(Q, fixed=held, forces=f)
        solve_s.append(time.perf_counter() - start)
        X, it, g, seconds = plain_loop(shell, Q, f, held)
        plain_s.append(seconds)
    assert r.success, r.message
    a, b = statistics.median(solve_s), statistics.median(plain_s)
    distance = np.linalg.norm(X - r.x, axis=1).max()
    print(f"{args.n}-by-{args.n} cantilever ({np.count_nonzero(~held)} free coordinates), from a slight sag; "
          f"medians of {args.rounds} rounds")
    print(f"{'method':<36} {'seconds':>9} {'iterations':>11} {'max|grad W|':>13} {'max |x - x_solve|':>18} {'ratio':>7}")
    print(f"{'Shell.solve':<36} {a:9.3f} {r.nit:11d} {r.grad_norm:13.3e} {'':>18} {1:7.2f}")
    print(f"{'plain loop (clamp, spsolve)':<36} {b:9.3f} {it:11d} {g:13.3e} {distance:18.3e} {b / a:7.2f}")
    print(f"Shell.solve: {r.message}")


if __name__ == "__main__":
    main()

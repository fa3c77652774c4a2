"""Evaluate a batch of shells in a pool of worker processes.

Each lamina.Shell is prepared once in this process and sent to the workers
as it is: a Shell pickles through its rest mesh and parameters, and the
worker's copy is prepared anew and gives the same bits. The same goes for
multiprocessing.Pool, Dask and Ray, which pickle what they send.

Eight sheets of different sizes and stiffnesses, each bent by a different
amount, are evaluated by four workers (concurrent.futures.ProcessPoolExecutor);
every energy and gradient is checked against the one computed here.

    python3 examples/process_pool.py [--workers 4]
"""

import argparse
import concurrent.futures
import multiprocessing
import sys

import numpy as np

import lamina


def sheet(n):
    """An n-by-n grid on the unit square, two triangles per cell."""
    i, j = np.arange(n * n) % n, np.arange(n * n) // n
    V = np.column_stack([i / (n - 1), j / (n - 1), np.zeros(n * n)])
    c = np.arange((n - 1) ** 2)
    v = (c // (n - 1)) * n + c % (n - 1)
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    return V, F


def bent(V, amount):
    """V rolled around the y axis by `amount` radians over its width."""
    Q = V.copy()
    angle = amount * V[:, 0]
    radius = 1.0 / amount
    Q[:, 0] = radius * np.sin(angle)
    Q[:, 2] = radius * (1.0 - np.cos(angle))
    return Q


def evaluate(shell, Q):
    """What a worker does: the energy and the gradient of one shell."""
    return shell.energy_and_gradient(Q)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--workers", type=int, default=4)
    args = parser.parse_args(argv)

    jobs = []
    for k in range(8):
        V, F = sheet(6 + 2 * k)
        shell = lamina.Shell(F, V, mu=1.0 + k, eta=0.01 * (k + 1))
        jobs.append((shell, bent(V, 0.5 + 0.25 * k)))

    # "spawn" starts each worker afresh, as on macOS and Windows: nothing is
    # inherited, everything the workers use travels pickled.
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(args.workers, mp_context=context) as pool:
        results = list(pool.map(evaluate, *zip(*jobs)))

    same = True
    for k, ((shell, Q), (E, G)) in enumerate(zip(jobs, results)):
        E_here, G_here = shell.energy_and_gradient(Q)
        bits = E == E_here and np.array_equal(G.view(np.uint64), G_here.view(np.uint64))
        same = same and bits
        print(f"shell {k}: {shell.vertex_count:4d} vertices, energy {E:.12g} "
              f"({'the same bits' if bits else 'DIFFERENT'} as in this process)")
    print("all workers' results have this process's bits" if same else "results DIFFER")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())

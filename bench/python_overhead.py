"""The Python binding's cost per call against the bare C++ call, in one run.

    python3 bench/python_overhead.py [--timer build/python-oracle/lamina_call_timer]

Times each call of the binding on a 4-vertex mesh and on a sheet of about
2e5 faces, and runs lamina_call_timer (tests/python/oracle, built with the
oracle) on the same input for the C++ call the binding makes. C++ and
Python batches alternate in rounds, so that both meet the same machine; every
figure is the median over all batches of the time per call. The binding is
timed with the kernels' layout (Fortran-ordered float64 vertices, float64
index tables) and with NumPy's defaults (C order, int64 tables as
edge_table returns them), which it converts.
"""

import argparse
import os
import struct
import subprocess
import tempfile
import time
from pathlib import Path

import numpy as np
import scipy.sparse

import lamina

ROOT = Path(__file__).resolve().parents[1]


def sheet(n):
    """An n-by-n grid on the unit square, bent, two triangles per cell."""
    i, j = np.arange(n * n) % n, np.arange(n * n) // n
    V = np.column_stack([i / (n - 1), j / (n - 1), np.zeros(n * n)])
    c = np.arange((n - 1) ** 2)
    v = (c // (n - 1)) * n + c % (n - 1)
    F = np.concatenate([np.column_stack([v, v + 1, v + n + 1]), np.column_stack([v, v + n + 1, v + n])])
    Q = V * [1.1, 0.95, 1.0] + [0, 0, 0.2] * np.sin(3 * V[:, :1])
    return Q, V, F


def worked_example():
    V = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0], [1, 1, 0.2]])
    Q = np.array([[0, 0, 0.1], [1.1, 0, 0], [0, 1.2, 0], [1, 1.1, 0.5]])
    return Q, V, np.array([[0, 1, 2], [1, 3, 2]])


def batch_times(call, batch, batches):
    """The time per call of each of `batches` batches of `batch` calls, in ns."""
    times = []
    for _ in range(batches):
        start = time.perf_counter_ns()
        for _ in range(batch):
            call()
        times.append((time.perf_counter_ns() - start) / batch)
    return times


def write_problem(path, Q, V, F, E, mu, eta):
    with open(path, "wb") as f:
        f.write(struct.pack("<iiiidd", 1, len(V), len(F), len(E), mu, eta))
        for a in (Q, V, F, E):
            f.write(np.asarray(a, dtype="<f8").ravel(order="F").tobytes())


def report(title, Q, V, F, mu, eta, timer, batch, batches, rounds):
    E = lamina.edge_table(F)
    print(f"\n{title}: {len(V)} vertices, {len(F)} faces, {len(E)} edge rows; median of "
          f"{rounds * batches} batches of {batch} calls")
    kernel_layout = (np.asfortranarray(Q), mu, eta, np.asfortranarray(F, dtype=float), np.asfortranarray(V),
                     np.asfortranarray(E, dtype=float))
    numpy_defaults = (np.ascontiguousarray(Q), mu, eta, F, np.ascontiguousarray(V), E)
    shell = lamina.Shell(F, V, mu, eta, E)
    Qc = np.ascontiguousarray(Q)
    calls = [(name, arrays, args) for name in ("energy", "energy_and_gradient", "energy_gradient_hessian")
             for arrays, args in (("kernel layout", kernel_layout), ("NumPy defaults", numpy_defaults))]
    calls += [("Shell.energy_and_gradient", "C order", (Qc,)), ("Shell.energy_gradient_hessian", "C order", (Qc,))]
    functions = {name: getattr(lamina, name) for name in ("energy", "energy_and_gradient", "energy_gradient_hessian")}
    functions.update({"Shell." + name: getattr(shell, name) for name in ("energy_and_gradient", "energy_gradient_hessian")})
    cpp, py = {}, {}
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "in")
        write_problem(path, Q, V, F, E, mu, eta)
        for _ in range(rounds):
            out = subprocess.run([timer, path, str(batch), str(batches)], check=True, stdout=subprocess.PIPE,
                                 text=True).stdout
            for line in out.splitlines():
                name, *times = line.split()
                cpp.setdefault(name, []).extend(float(t) for t in times)
            for name, arrays, args in calls:
                py.setdefault((name, arrays), []).extend(batch_times(lambda: functions[name](*args), batch, batches))
    _, G, H = lamina.energy_gradient_hessian(*numpy_defaults)
    matrix = lambda: scipy.sparse.csc_matrix((H.data, H.indices, H.indptr), shape=H.shape, copy=False)  # noqa: E731
    print(f"{'call':<32} {'arrays':<15} {'C++':>12} {'Python':>12} {'overhead':>12} {'ratio':>6}")
    us = lambda ns: f"{ns / 1e3:10.2f}us"  # noqa: E731
    print(f"{'(check_shell alone)':<32} {'':<15} {us(np.median(cpp['check_shell']))}")
    print(f"{'(csc_matrix of the result alone)':<32} {'':<15} {'':>12} {us(np.median(batch_times(matrix, batch, batches)))}")
    for name, arrays, _ in calls:
        c, p = np.median(cpp[name]), np.median(py[(name, arrays)])
        print(f"{name:<32} {arrays:<15} {us(c)} {us(p)} {us(p - c)} {p / c:6.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--timer", default=str(ROOT / "build" / "python-oracle" / "lamina_call_timer"))
    parser.add_argument("--grid", type=int, default=317, help="grid side of the large sheet (317: 199712 faces)")
    args = parser.parse_args()
    report("4-vertex mesh", *worked_example(), 2.0, 3.0, args.timer, batch=2000, batches=5, rounds=7)
    Q, V, F = sheet(args.grid)
    report("large sheet", Q, V, F, 1.0, 0.01, args.timer, batch=1, batches=3, rounds=7)


if __name__ == "__main__":
    main()

"""Several threads at once: the bits of a lone call, the GIL released while
the kernels run, and no crash when another thread rewrites an index array."""

import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import lamina
from support import assert_same_bits, random_problem

PROBLEMS = [random_problem(40 + 3 * i, 30 + 2 * i, 50 + i) for i in range(4)]


def evaluate(p, shell):
    E, G = lamina.energy_and_gradient(*p.args())
    e, g, H = lamina.energy_gradient_hessian(*p.args(), project="clamp")
    es, gs = shell.energy_and_gradient(p.Q)
    return E, G, e, g, H.data, lamina.energy(*p.args()), lamina.hinge_mask(p.Q, p.E), es, gs


def test_concurrent_calls_give_the_bits_of_a_lone_call():
    shells = [lamina.Shell(p.F, p.V, p.mu, p.eta, p.E) for p in PROBLEMS]
    alone = [evaluate(p, s) for p, s in zip(PROBLEMS, shells)]
    # Every problem several times over, on four threads; one Shell object
    # shared by all threads that evaluate its problem.
    jobs = [i for _ in range(6) for i in range(len(PROBLEMS))]
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda i: (i, evaluate(PROBLEMS[i], shells[i])), jobs))
    for i, result in results:
        for got, want in zip(result, alone[i]):
            assert_same_bits(got, want, f"problem {i}")
    # A copy evaluates on its own, with the same bits.
    copy = shells[0].copy()
    assert_same_bits(copy.energy_and_gradient(PROBLEMS[0].Q)[1], alone[0][8])


def test_the_gil_is_released_while_the_kernels_run():
    p = random_problem(200, 200, 3)  # 79202 faces
    shell = lamina.Shell(p.F, p.V, p.mu, p.eta, p.E)
    calls = {
        "energy": lambda: lamina.energy(*p.args()),
        "energy_gradient_hessian": lambda: lamina.energy_gradient_hessian(*p.args()),
        "Shell.energy_and_gradient": lambda: [shell.energy_and_gradient(p.Q) for _ in range(20)],
    }
    for name, call in calls.items():
        ticks, running = [0], [True]

        def count():
            while running[0]:
                ticks[0] += 1

        counter = threading.Thread(target=count)
        counter.start()
        try:
            while ticks[0] == 0:
                pass
            before = ticks[0]
            call()
            during = ticks[0] - before
        finally:
            running[0] = False
            counter.join()
        # Holding the GIL, the call would let the counter tick once at most.
        assert during > 100, f"{name}: the counter ticked {during} times during the call"


def test_rewriting_the_faces_from_another_thread_cannot_crash():
    """The checks validate a private copy: a call evaluates or raises
    lamina:badIndex, whatever the other thread wrote meanwhile."""
    p = random_problem(60, 60, 4)
    F = p.F.astype(float)
    stop = threading.Event()

    def vandal():
        bad = np.full_like(F, 1e9)
        while not stop.is_set():
            F[...] = bad
            F[...] = p.F

    thread = threading.Thread(target=vandal)
    thread.start()
    try:
        for _ in range(200):
            try:
                lamina.energy_and_gradient(p.Q, p.mu, p.eta, F, p.V, p.E)
            except lamina.InputValueError as e:
                assert e.identifier == "lamina:badIndex" and e.argument == "source_faces"
    finally:
        stop.set()
        thread.join()

"""Several threads at once: the bits of a lone call, the GIL released while
the kernels run, and no crash when another thread rewrites an index array."""

import sys
import threading
import time
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


def ran_meanwhile(call, attempts=5):
    """Whether another thread ran Python code while `call` ran. With a switch
    interval far longer than the test, a thread holding the GIL never has it
    taken away: the other thread, which hands the GIL back after every tick,
    can tick during the call only if the call released the GIL. Only a thread
    that never got a processor meanwhile makes an attempt inconclusive."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    try:
        for _ in range(attempts):
            ticks, stop = [0], threading.Event()

            def count():
                while not stop.is_set():
                    ticks[0] += 1
                    time.sleep(1e-5)  # releases the GIL

            counter = threading.Thread(target=count)
            counter.start()
            try:
                while ticks[0] == 0:
                    time.sleep(1e-3)
                before = ticks[0]
                call()
                during = ticks[0] - before
            finally:
                stop.set()
                counter.join()
            if during > 0:
                return True
        return False
    finally:
        sys.setswitchinterval(interval)


def test_the_gil_is_released_while_the_kernels_run():
    p = random_problem(200, 200, 3)  # 79202 faces
    shell = lamina.Shell(p.F, p.V, p.mu, p.eta, p.E)
    # Vertex arrays in the layouts the calls read in place: NumPy would
    # release the GIL itself while it converted them.
    args = (np.asfortranarray(p.Q), p.mu, p.eta, p.F, np.asfortranarray(p.V), p.E)
    calls = {
        "energy": lambda: lamina.energy(*args),
        "energy_and_gradient": lambda: lamina.energy_and_gradient(*args),
        "energy_gradient_hessian": lambda: lamina.energy_gradient_hessian(*args),
        "Shell.energy_and_gradient": lambda: shell.energy_and_gradient(p.Q),
        "Shell.energy_gradient_hessian": lambda: shell.energy_gradient_hessian(p.Q),
    }
    for name, call in calls.items():
        assert ran_meanwhile(call), f"{name} held the GIL"
    # The test can tell: a C call that holds the GIL (sorted on ints) lets nothing run.
    descending = list(range(3_000_000, 0, -1))
    assert not ran_meanwhile(lambda: sorted(descending), attempts=1)


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

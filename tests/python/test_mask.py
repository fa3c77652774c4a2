"""The mask against the bending term: with mu = 0, no faces and eta = NaN,
the energy of a single edge row is NaN exactly when the bending term
evaluates that row, which is what the mask must say."""

import numpy as np

import lamina
from support import problems


def test_mask_marks_exactly_the_rows_the_bending_term_evaluates():
    marked = 0
    for i, p in enumerate(problems()):
        mask = lamina.hinge_mask(p.Q, p.E)
        evaluated = [np.isnan(lamina.energy(p.Q, 0.0, np.nan, np.zeros((0, 3)), p.V, p.E[j:j + 1]))
                     for j in range(len(p.E))]
        np.testing.assert_array_equal(mask, evaluated, err_msg=f"problem {i}")
        marked += mask.sum()
        # The Shell's bending term, through the same trick, agrees.
        assert np.isnan(lamina.Shell(np.zeros((0, 3)), p.V, 0.0, np.nan, p.E).energy(p.Q)) == mask.any()
    assert 0 < marked

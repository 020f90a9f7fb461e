"""The examples beside the demo, each on a small case: a fit, a sampled posterior, a survey."""

import math
import os
import sys
from pathlib import Path

import numpy as np
import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))
import fit_event  # noqa: E402
import survey  # noqa: E402


@pytest.mark.parametrize("points, seed", [(300, 1), (200, 4), (1500, 1)])
def test_fit_recovers_the_event_within_its_uncertainties(points, seed):
    event = fit_event.simulate(points, seed)
    found = fit_event.fit_from_data(event)
    assert np.all(np.isfinite(found.errors)) and np.all(found.errors > 0)
    pulls = (found.values - np.array(fit_event.TRUTH)) / found.errors
    assert np.all(np.abs(pulls) < 5.0), pulls
    assert 0.7 < found.chi2 / found.dof < 1.3


def test_fit_uncertainties_match_the_scatter_of_repeated_fits():
    """The linearised errors describe the fits: the pulls over 12 noise draws have unit spread."""
    pulls = []
    for seed in range(12):
        found = fit_event.fit_from_data(fit_event.simulate(200, 100 + seed))
        pulls.append((found.values - np.array(fit_event.TRUTH)) / found.errors)
    spread = np.std(np.array(pulls), axis=0)
    assert np.all((spread > 0.4) & (spread < 1.8)), spread


def test_fit_prints_parameters_with_uncertainties(capsys):
    assert fit_event.main(["--points", "200", "--seed", "2"]) == 0
    lines = capsys.readouterr().out.splitlines()
    rows = {line.split()[0]: line.split() for line in lines[2:8]}
    assert list(rows) == list(fit_event.NAMES)
    for name, row in rows.items():
        assert row[2] == "+-" and float(row[3]) > 0 and math.isfinite(float(row[1])), row
    assert lines[-1].startswith("chi^2 = ")


def test_emcee_posterior_and_corner_plot(tmp_path, capsys):
    pytest.importorskip("emcee")
    pytest.importorskip("corner")
    emcee_fit = pytest.importorskip("emcee_fit")
    png = tmp_path / "corner.png"
    assert emcee_fit.main(["--points", "200", "--walkers", "14", "--steps", "80", "--png", str(png)]) == 0
    printed = capsys.readouterr().out.splitlines()
    acceptance = float(printed[0].rsplit(" ", 1)[-1])
    assert 0.05 < acceptance < 0.9
    medians = [float(line.split()[1]) for line in printed[1:7]]
    assert all(math.isfinite(m) for m in medians) and medians[2] == pytest.approx(25.0, rel=0.05)
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


@pytest.fixture(scope="module")
def events_and_serial_fits():
    events = survey.synthetic_survey(8, 200, 3)
    return events, survey.fit_serial(events)


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="make sanitize checks vellomir's code; a Dask cluster's processes would run its "
                           "dependencies' extensions under LeakSanitizer")
def test_survey_on_a_local_dask_cluster_equals_the_serial_fits(events_and_serial_fits):
    pytest.importorskip("distributed")
    events, serial = events_and_serial_fits
    distributed = survey.fit_dask(events, workers=2, scheduler=None)
    assert len(distributed) == 8
    for mine, theirs in zip(distributed, serial):
        np.testing.assert_array_equal(mine, theirs)


def test_survey_on_a_process_pool_equals_the_serial_fits(events_and_serial_fits):
    events, serial = events_and_serial_fits
    for mine, theirs in zip(survey.fit_processes(events[:4], workers=2), serial[:4]):
        np.testing.assert_array_equal(mine, theirs)
    good = [row for row, event in zip(serial, events) if row[-1] / (event.t.size - 6) < 1.5]
    assert len(good) >= 7  # the two starts find nearly every event of the varied survey


def test_the_bootstrap_brings_what_the_examples_import():
    bootstrap = (EXAMPLES.parent / "scripts" / "bootstrap-python").read_text()
    for package in ("python3-emcee", "python3-corner", "python3-distributed"):
        assert package in bootstrap

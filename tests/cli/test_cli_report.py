"""`tarvenn report` through a subprocess: exit statuses, the JSON against the front's own numbers,
the inputs of every format, undefined metrics and the progress display."""

from __future__ import annotations

import json
import math
import os
import pty
import subprocess
import sys
from pathlib import Path
from typing import Any

import pytest

import tarvenn

from cli_helpers import files, pa, pcsv, pq, report_json, run  # noqa: F401  (files: a fixture)

BIAS = ["--facet", "gender", "--facet-value", "female", "--label", "approved"]


def _read(path: Path) -> Any:
    if path.suffix == ".csv":
        return pcsv.read_csv(path)
    if path.suffix == ".parquet":
        return pq.read_table(path)
    return pa.ipc.open_file(pa.memory_map(str(path))).read_all()


def _decode(x: Any) -> float:
    return {"NaN": math.nan, "Infinity": math.inf, "-Infinity": -math.inf}.get(x, x) if isinstance(x, str) else float(x)


def _same(a: float, b: float) -> bool:
    return (math.isnan(a) and math.isnan(b)) or a == b


@pytest.mark.parametrize("ext", ["csv", "parquet", "feather", "arrow"])
def test_json_holds_the_fronts_numbers_for_every_format(files: dict[str, tuple[Path, Path]], tmp_path: Path, ext: str):
    ref_path, cur_path = files[ext]
    proc, doc = report_json(
        tmp_path, ref_path, cur_path, *BIAS, "--prediction", "score", "--task", "logistic", "--decision-threshold", "0.6"
    )
    ref, cur = _read(ref_path), _read(cur_path)
    expected = {
        "data_bias": (tarvenn.data_bias, dict(facet="gender", label="approved", facet_value="female", label_value=1)),
        "model_bias": (
            tarvenn.model_bias,
            dict(facet="gender", label="approved", prediction="score", facet_value="female", label_value=1, prediction_value=0.6),
        ),
        "logistic": (tarvenn.performance, dict(label="approved", prediction="score", task="logistic", threshold=0.6)),
    }
    assert list(doc["metrics"]) == list(expected)
    for family, (entry, kwargs) in expected.items():
        r, c = entry(ref, **kwargs), entry(cur, **kwargs)
        got = doc["metrics"][family]
        for side, result in (("reference", r), ("current", c)):
            values = {k: _decode(v) for k, v in got[side]["metrics"].items()}
            assert list(values) == list(result)
            assert all(_same(values[k], result[k]) for k in result), (family, side)
            assert got[side]["rows_used"] == result.rows_used
        check = tarvenn.check(r, c, threshold=0.10)
        assert got["check"]["passed"] == check.passed
        assert {k: _decode(v) for k, v in got["check"]["failures"].items()} == dict(check.failures)
    drift = tarvenn.drift(ref, cur)
    assert [row["column"] for row in doc["drift"]] == drift.columns
    for row in doc["drift"]:
        front = drift[row["column"]]
        assert row["kind"] == front.kind and row["bins"] == front.bins
        assert {k: _decode(v) for k, v in row["measures"].items()} == dict(front.measures)
        assert (row["missing_reference"], row["missing_current"]) == (front.missing_reference, front.missing_current)
    assert doc["inputs"]["reference"]["rows"] == 3000 and doc["inputs"]["current"]["rows"] == 3000
    assert doc["tarvenn"] == tarvenn.__version__
    assert doc["options"]["decision_threshold"] == 0.6 and doc["options"]["facet_value"] == "female"
    # The shift moves age and region past the drift threshold, and the checks fail the run.
    status = {c["metric"]: c["status"] for c in doc["checks"]}
    assert status["age: PopulationStabilityIndex"] == "failed"
    assert status["income: PopulationStabilityIndex"] == "passed"
    assert proc.returncode == 1 and doc["verdict"] == "failed"


def test_histograms_are_the_modules_bins(files: dict[str, tuple[Path, Path]], tmp_path: Path):
    ref_path, cur_path = files["parquet"]
    _, doc = report_json(tmp_path, ref_path, cur_path, "--bins", "Scott")
    ref = pq.read_table(ref_path)
    rows = {r["column"]: r for r in doc["drift"]}
    age = tarvenn.PyContinuousDataDrift(ref.column("age").to_numpy(), "Scott")
    hist = rows["age"]["histogram"]
    assert hist["reference"] == age.export_baseline()
    assert len(hist["edges"]) == age.num_bins - 2 and len(hist["current"]) == age.num_bins
    assert math.isclose(sum(hist["current"]), 1.0)
    region = rows["region"]["histogram"]
    baseline = tarvenn.PyCategoricalDataDrift(ref.column("region").to_pylist()).export_baseline()
    assert region["labels"] == [*sorted(baseline), None]
    assert region["reference"] == [*(baseline[k] for k in sorted(baseline)), 0.0]
    # "south" is new in the current data: about a quarter of it lands in the unseen bin.
    assert 0.15 < region["current"][-1] < 0.35


def test_exit_statuses_and_options(files: dict[str, tuple[Path, Path]], tmp_path: Path):
    ref_path, cur_path = files["parquet"]
    same = run("report", ref_path, ref_path, *BIAS)
    assert same.returncode == 0, same.stdout + same.stderr
    assert "PASSED: 0 of" in same.stdout
    shifted = run("report", ref_path, cur_path, *BIAS, module=False)  # the console script
    assert shifted.returncode == 1
    assert shifted.stdout.index("FAIL") < shifted.stdout.index("pass")  # failures first
    assert "Most drifted columns by PopulationStabilityIndex" in shifted.stdout
    # Only the stable column, with a lenient metric threshold: passes.
    proc, doc = report_json(tmp_path, ref_path, cur_path, "--columns", "income", "--measures", "JensenShannon")
    assert proc.returncode == 0
    assert [r["column"] for r in doc["drift"]] == ["income"]
    assert list(doc["drift"][0]["measures"]) == ["JensenShannon", "PopulationStabilityIndex"]
    # A drift threshold that the stable column exceeds fails it.
    strict = run("report", ref_path, cur_path, "--columns", "income", "--drift-threshold", "0")
    assert strict.returncode == 1
    quiet = run("report", ref_path, cur_path, "--quiet")
    assert (quiet.returncode, quiet.stdout, quiet.stderr) == (1, "", "")


def test_undefined_metric_is_shown_and_fails_only_on_request(tmp_path: Path):
    # In the current data the facet has no positive label: its KL divergence is NaN (0 * ln 0).
    gender = ["female", "male"] * 200
    # Reference: half the women and three quarters of the men approved; current: no woman.
    ref = pa.table({"gender": gender, "approved": [1, 1, 0, 1, 1, 1, 0, 0] * 50})
    cur = pa.table({"gender": gender, "approved": [0, 1, 0, 1, 0, 1, 0, 0] * 50})
    pq.write_table(ref, tmp_path / "ref.parquet")
    pq.write_table(cur, tmp_path / "cur.parquet")
    args = [tmp_path / "ref.parquet", tmp_path / "cur.parquet", *BIAS, "--threshold", "1e30", "--columns", "gender"]
    proc, doc = report_json(tmp_path, *args)
    undefined = [c for c in doc["checks"] if c["status"] == "undefined"]
    assert {c["metric"] for c in undefined} >= {"KlDivergence", "JsDivergence"}
    assert all(c["reason"] == "NaN in current" for c in undefined)
    assert doc["checks"][0]["status"] == "undefined"  # nothing failed: undefined checks come first
    assert proc.returncode == 0 and "undefined" in proc.stdout
    strict = run("report", *args, "--fail-on-undefined")
    assert strict.returncode == 1 and "FAILED" in strict.stdout


def test_explicit_rules_and_typed_values(files: dict[str, tuple[Path, Path]], tmp_path: Path):
    ref_path, cur_path = files["parquet"]
    _, doc = report_json(
        tmp_path, ref_path, cur_path, "--facet", "age", "--facet-value", ">=45", "--label", "approved",
        "--label-value", ">0.5", "--columns", "age",
    )
    ref = pq.read_table(ref_path)
    expected = tarvenn.data_bias(ref, facet="age", label="approved", facet_value=tarvenn.at_least(45),
                                 label_value=tarvenn.greater_than(0.5))
    assert {k: _decode(v) for k, v in doc["metrics"]["data_bias"]["reference"]["metrics"].items()} == dict(expected)
    assert doc["options"]["facet_value"] == ">=45"
    # A plain number on a numeric column is a number (the module's label-or-threshold rule).
    _, doc = report_json(tmp_path, ref_path, cur_path, "--facet", "age", "--facet-value", "45", "--label", "approved",
                         "--columns", "age")
    plain = tarvenn.data_bias(ref, facet="age", label="approved", facet_value=45)
    assert {k: _decode(v) for k, v in doc["metrics"]["data_bias"]["reference"]["metrics"].items()} == dict(plain)
    # '=LABEL' on a text column is the explicit label rule, with a rule for the label too.
    proc, _ = report_json(tmp_path, ref_path, cur_path, "--facet", "gender", "--facet-value", "=female", "--label",
                          "approved", "--label-value", ">=1", "--columns", "gender")
    assert proc.returncode in (0, 1)


def test_progress_only_on_a_terminal(files: dict[str, tuple[Path, Path]]):
    ref_path, cur_path = files["parquet"]
    piped = run("report", ref_path, cur_path)
    assert piped.stderr == ""
    for quiet, shown in ((False, True), (True, False)):
        master, slave = pty.openpty()
        args = [sys.executable, "-m", "tarvenn", "report", str(ref_path), str(cur_path)] + (["--quiet"] if quiet else [])
        proc = subprocess.run(args, stderr=slave, stdout=subprocess.DEVNULL, timeout=120)
        os.close(slave)
        chunks = []
        try:
            while True:
                data = os.read(master, 65536)
                if not data:
                    break
                chunks.append(data)
        except OSError:
            pass
        os.close(master)
        text = b"".join(chunks).decode()
        assert proc.returncode == 1
        assert ("drift: region" in text and "/7]" in text) == shown, text

"""`tarvenn demo`: the synthetic data carries the shift it promises, and the report shows it."""

from __future__ import annotations

import json
from pathlib import Path

from cli_helpers import pq, run


def test_demo_writes_data_with_a_known_shift_and_reports_it(tmp_path: Path):
    out, html, js = tmp_path / "data", tmp_path / "report.html", tmp_path / "report.json"
    proc = run("demo", "--out", out, "--rows", "5000", "--html", html, "--json", js)
    assert proc.returncode == 0, proc.stderr
    assert "known shift" in proc.stdout and "exits with 1" in proc.stdout
    assert pq.read_table(out / "reference.parquet").num_rows == 5000
    doc = json.loads(js.read_text())
    assert doc["verdict"] == "failed"
    drift = {c["metric"].split(":")[0]: c["status"] for c in doc["checks"] if c["family"] == "drift"}
    assert drift["age"] == drift["region"] == "failed"
    assert drift["income"] == drift["tenure_months"] == drift["gender"] == "passed"
    region = next(r for r in doc["drift"] if r["column"] == "region")
    assert region["histogram"]["labels"][-1] is None and region["histogram"]["current"][-1] > 0.1  # the unseen region
    assert set(doc["metrics"]) == {"data_bias", "model_bias", "logistic"}
    assert html.read_text().count("<svg ") == 8


def test_demo_in_a_temporary_folder_leaves_nothing(tmp_path: Path):
    proc = run("demo", "--rows", "1000", "--quiet", cwd=tmp_path)
    assert (proc.returncode, proc.stdout, proc.stderr) == (0, "", "")
    assert list(tmp_path.iterdir()) == []
    assert run("demo", "--rows", "5").returncode == 2

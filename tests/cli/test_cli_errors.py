"""Bad usage and unreadable input: exit status 2 and one line that names the file or column;
the traceback only with --debug."""

from __future__ import annotations

from pathlib import Path

import pytest
from cli_helpers import files, run  # noqa: F401  (files: a fixture)

BIAS = ["--facet", "gender", "--facet-value", "female", "--label", "approved"]


def _one_line_error(proc, *names: str) -> str:  # type: ignore[no-untyped-def]
    assert proc.returncode == 2, proc.stdout + proc.stderr
    lines = proc.stderr.strip().splitlines()
    assert len(lines) == 1, proc.stderr
    assert lines[0].startswith("tarvenn: error: ") and "Traceback" not in proc.stderr
    for name in names:
        assert name in lines[0]
    return lines[0]


def test_missing_and_unreadable_files(files: dict[str, tuple[Path, Path]], tmp_path: Path):
    ref, cur = files["parquet"]
    _one_line_error(run("report", tmp_path / "nope.parquet", cur), "nope.parquet", "no such file")
    _one_line_error(run("report", ref, tmp_path), str(tmp_path), "directory")
    sheet = tmp_path / "data.xlsx"
    sheet.write_bytes(b"PK\x03\x04 not a table")
    _one_line_error(run("report", ref, sheet), "data.xlsx", "unknown file format .xlsx")
    broken = tmp_path / "broken.parquet"
    broken.write_bytes(b"this is no parquet file at all")
    _one_line_error(run("report", broken, cur), "broken.parquet", "cannot read it as parquet")
    arrow = tmp_path / "broken.arrow"
    arrow.write_bytes(b"\x00" * 64)
    _one_line_error(run("report", ref, arrow), "broken.arrow", "cannot read it as ipc")
    # --debug shows where it happened.
    debug = run("report", tmp_path / "nope.parquet", cur, "--debug")
    assert debug.returncode != 0 and "Traceback" in debug.stderr


def test_unknown_columns(files: dict[str, tuple[Path, Path]]):
    ref, cur = files["csv"]
    line = _one_line_error(run("report", ref, cur, "--columns", "age,salary"), "'salary'", "reference.csv")
    assert "its columns: age, income" in line
    _one_line_error(run("report", ref, cur, "--facet", "sex", "--facet-value", "f", "--label", "approved"), "--facet", "'sex'")
    _one_line_error(run("report", ref, cur, *BIAS, "--prediction", "proba"), "--prediction", "'proba'")


@pytest.mark.parametrize(
    ("args", "names"),
    [
        (["--facet", "age", "--facet-value", ">=sixty", "--label", "approved"], ["'>=sixty'", "'age'", "number"]),
        (["--facet", "age", "--facet-value", "old", "--label", "approved"], ["'old'", "'age'", "number"]),
        (["--facet", "gender", "--facet-value", ">=60", "--label", "approved"], ["'>=60'", "'gender'", "text"]),
        (["--facet", "age", "--facet-value", "=female", "--label", "approved"], ["'=female'", "'age'"]),
        (["--facet", "member", "--facet-value", "maybe", "--label", "approved"], ["'maybe'", "'member'", "boolean"]),
        (["--facet", "age", "--facet-value", ">=60", "--label", "approved"], ["--label-value", "rule"]),
        (["--facet", "age", "--label", "approved"], ["--facet-value"]),
        (["--facet-value", "female"], ["--facet"]),
        (["--facet", "gender", "--facet-value", "female"], ["--label"]),
        (["--prediction", "score"], ["--label"]),
    ],
)
def test_bad_values_and_option_combinations(files: dict[str, tuple[Path, Path]], args: list[str], names: list[str]):
    ref, cur = files["parquet"]
    _one_line_error(run("report", ref, cur, *args), *names)


def test_module_errors_name_the_input(tmp_path: Path):
    # Every row is in the facet: the module finds no rest to compare with.
    import pyarrow as pa
    import pyarrow.parquet as pq

    t = pa.table({"gender": ["female"] * 10, "approved": [0, 1] * 5})
    pq.write_table(t, tmp_path / "one.parquet")
    line = _one_line_error(run("report", tmp_path / "one.parquet", tmp_path / "one.parquet", *BIAS), "one.parquet")
    assert "No deviation in behavior between facets" in line


def test_argparse_usage_errors_exit_2(files: dict[str, tuple[Path, Path]]):
    ref, cur = files["parquet"]
    for args in (["report", ref], ["report", ref, cur, "--measures", "Hellinger"], ["frobnicate"]):
        proc = run(*args)
        assert proc.returncode == 2 and "Traceback" not in proc.stderr
    assert run("--version").stdout.startswith("tarvenn ")

"""Small data files in each format, and a runner for the `tarvenn` command as users start it."""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path
from typing import Any

import numpy as np
import pytest

pa = pytest.importorskip("pyarrow")
pq = pytest.importorskip("pyarrow.parquet")
pcsv = pytest.importorskip("pyarrow.csv")
feather = pytest.importorskip("pyarrow.feather")


def table(n: int, seed: int, shifted: bool) -> Any:
    """A frame with numeric, integer, text and boolean columns; `shifted` moves age and region and
    lowers the women's approvals."""
    rng = np.random.default_rng(seed)
    age = np.round(rng.normal(50.0 if shifted else 40.0, 10.0, n), 2)
    income = np.round(rng.lognormal(10.0, 0.4, n), 2)
    region = rng.choice(np.array(["east", "north", "west", "south"] if shifted else ["east", "north", "west"]), n)
    gender = rng.choice(np.array(["female", "male"]), n)
    p = np.where(gender == "female", 0.25 if shifted else 0.45, 0.5)
    approved = (rng.random(n) < p).astype(np.int64)
    score = np.round(np.clip(approved * 0.3 + rng.random(n) * 0.7, 0, 1), 3)
    member = rng.random(n) < 0.5
    return pa.table(
        {"age": age, "income": income, "region": region, "gender": gender, "approved": approved,
         "score": score, "member": member}
    )


def write(tbl: Any, path: Path) -> Path:
    suffix = path.suffix
    if suffix == ".parquet":
        pq.write_table(tbl, path)
    elif suffix == ".csv":
        pcsv.write_csv(tbl, path)
    elif suffix in (".feather", ".arrow"):
        feather.write_feather(tbl, path)
    else:
        raise ValueError(suffix)
    return path


@pytest.fixture(scope="session")
def files(tmp_path_factory: pytest.TempPathFactory) -> dict[str, tuple[Path, Path]]:
    """Reference and shifted current files of 3000 rows in each format."""
    root = tmp_path_factory.mktemp("data")
    ref, cur = table(3000, 1, False), table(3000, 2, True)
    return {
        ext: (write(ref, root / f"reference.{ext}"), write(cur, root / f"current.{ext}"))
        for ext in ("csv", "parquet", "feather", "arrow")
    }


def run(*args: str | os.PathLike[str], module: bool = True, **kw: Any) -> subprocess.CompletedProcess[str]:
    """`python -m tarvenn ARGS` (or the console script), with its output captured."""
    cmd = [sys.executable, "-m", "tarvenn"] if module else [str(Path(sys.executable).with_name("tarvenn"))]
    return subprocess.run([*cmd, *map(str, args)], capture_output=True, text=True, timeout=300, **kw)


def report_json(tmp_path: Path, *args: str | os.PathLike[str]) -> tuple[subprocess.CompletedProcess[str], dict[str, Any]]:
    out = tmp_path / "report.json"
    proc = run("report", *args, "--json", out)
    assert proc.returncode in (0, 1), proc.stderr
    return proc, json.loads(out.read_text())

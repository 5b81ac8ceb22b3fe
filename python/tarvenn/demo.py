"""`tarvenn demo`: a synthetic loan-approval data set, reference and current, with a known shift,
and the report on them.

The current data is older (age +6 years), has a region the reference never saw, more mobile
users, fewer approvals for women at the same income, and a model whose scores got noisier; the
income and tenure columns keep their distribution. So the report shows drifted and stable
columns side by side, and bias and performance checks that fail.
"""

from __future__ import annotations

import argparse
import os
import sys
import tempfile
from typing import Any

import numpy as np

__all__ = ["make_demo_data", "write_demo_files", "run_demo"]


def _frame(rng: np.random.Generator, n: int, shifted: bool) -> dict[str, Any]:
    age = np.clip(rng.normal(51.0 if shifted else 45.0, 12.0, n), 18, 90).round(1)
    income = np.exp(rng.normal(10.6, 0.45, n)).round(0)
    income[rng.random(n) < 0.01] = np.nan  # a few missing incomes, on both sides
    tenure = rng.integers(0, 121, n)
    regions = np.array(["central", "east", "north", "south", "west"], dtype=object)
    p_region = [0.15, 0.10, 0.27, 0.28, 0.20] if shifted else [0.0, 0.20, 0.30, 0.30, 0.20]
    region = rng.choice(regions, n, p=p_region)
    devices = np.array(["desktop", "mobile", "tablet"], dtype=object)
    device = rng.choice(devices, n, p=[0.25, 0.65, 0.10] if shifted else [0.40, 0.45, 0.15])
    gender = rng.choice(np.array(["female", "male"], dtype=object), n)
    z = (np.log(np.nan_to_num(income, nan=40_000.0)) - 10.6) * 2.2 + (age - 45.0) * 0.03 + tenure * 0.004 - 0.2
    # Women are approved a little less often in the reference, much less in the current data.
    z = z - (0.9 if shifted else 0.3) * (gender == "female")
    approved = (rng.random(n) < 1 / (1 + np.exp(-z))).astype(np.int64)
    noise = rng.normal(0.0, 1.6 if shifted else 0.6, n)
    score = (1 / (1 + np.exp(-(z * 1.4 + noise - 0.2 * (gender == "female"))))).round(4)
    return {
        "age": age,
        "income": income,
        "tenure_months": tenure,
        "region": region,
        "device": device,
        "gender": gender,
        "approved": approved,
        "score": score,
    }


def make_demo_data(rows: int = 20_000, seed: int = 7) -> tuple[Any, Any]:
    """The reference and the current data set as pyarrow Tables."""
    from ._files import arrow_module

    pa = arrow_module()
    rng = np.random.default_rng(seed)
    ref = _frame(rng, rows, shifted=False)
    cur = _frame(rng, rows, shifted=True)

    def table(columns: dict[str, Any]) -> Any:
        arrays = {k: pa.array(v, from_pandas=True) for k, v in columns.items()}  # NaN income -> null
        return pa.table(arrays)

    return table(ref), table(cur)


def write_demo_files(directory: str, rows: int = 20_000) -> tuple[str, str]:
    """Write reference.parquet and current.parquet into `directory`; return their paths."""
    from ._files import InputError, arrow_module

    pq = arrow_module("pyarrow.parquet")

    try:
        os.makedirs(directory, exist_ok=True)
    except OSError as exc:
        raise InputError(f"{directory}: cannot create it: {exc.strerror or exc}") from None
    ref, cur = make_demo_data(rows)
    paths = os.path.join(directory, "reference.parquet"), os.path.join(directory, "current.parquet")
    pq.write_table(ref, paths[0])
    pq.write_table(cur, paths[1])
    return paths


def _report_args(args: argparse.Namespace) -> argparse.Namespace:
    return argparse.Namespace(
        columns=None,
        measures=None,
        bins="FreedmanDiaconis",
        drift_measure="PopulationStabilityIndex",
        drift_threshold=0.2,
        facet="gender",
        facet_value="female",
        label="approved",
        label_value="1",
        prediction="score",
        prediction_value=None,
        task="logistic",
        decision_threshold=0.5,
        threshold=0.10,
        fail_on_undefined=False,
        html=args.html,
        json=args.json,
        quiet=args.quiet,
        debug=args.debug,
    )


def run_demo(args: argparse.Namespace) -> int:
    from ._files import InputError, arrow_module
    from ._run import report_files

    arrow_module()
    if args.rows < 100:
        raise InputError(f"--rows {args.rows}: the demo needs at least 100 rows")
    report_args = _report_args(args)
    if args.out:
        ref, cur = write_demo_files(args.out, args.rows)
        status = report_files(ref, cur, report_args)
    else:
        with tempfile.TemporaryDirectory(prefix="tarvenn-demo-") as tmp:
            ref, cur = write_demo_files(tmp, args.rows)
            status = report_files(ref, cur, report_args)
    if not args.quiet:
        where = f" (data in {args.out})" if args.out else ""
        shown = f"; report in {args.html}" if args.html else ""
        print(
            f"\nThe demo's current data has a known shift{where}, so checks fail on purpose: "
            f"`tarvenn report` exits with {status} on it{shown}.",
            file=sys.stdout,
        )
    return 0

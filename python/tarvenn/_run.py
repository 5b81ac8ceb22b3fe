"""`tarvenn report`: read the two files, type the command line's values by their columns, build
the report, write its outputs and turn its verdict into the exit status."""

from __future__ import annotations

import argparse
import importlib.util
import sys
from collections.abc import Sequence
from dataclasses import replace
from typing import TextIO

from ._cli_values import column_kind, parse_value
from ._files import InputError, read_schema_names, read_table
from ._rules import Rule, Value
from .report import InputInfo, Options, Progress, build_report, drift_column_names, render_html, summary

__all__ = ["run_report", "report_files"]

_ALL_MEASURES = ("JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler")


def _require(path: str, names: Sequence[str], wanted: Sequence[tuple[str, str]]) -> None:
    have = set(names)
    for option, column in wanted:
        if column not in have:
            raise InputError(f"{option} {column!r}: no such column in {path} (its columns: {', '.join(names)})")


def _roles(args: argparse.Namespace) -> list[tuple[str, str]]:
    if args.facet_value is not None and args.facet is None:
        raise InputError("--facet-value needs --facet COL")
    if args.facet is not None and args.facet_value is None:
        raise InputError(f"--facet {args.facet!r} needs --facet-value V")
    if args.facet is not None and args.label is None:
        raise InputError("--facet needs --label COL (the outcome column)")
    if args.prediction is not None and args.label is None:
        raise InputError("--prediction needs --label COL (the outcome column)")
    if args.prediction_value is not None and args.prediction is None:
        raise InputError("--prediction-value needs --prediction COL")
    return [(o, c) for o, c in (("--facet", args.facet), ("--label", args.label), ("--prediction", args.prediction)) if c]


def _typed(option: str, text: str | None, column: str | None, kinds: dict[str, str]) -> Value | None:
    if text is None or column is None:
        return None
    kind = kinds[column]
    if kind == "other":
        raise InputError(f"{option}: column {column!r} has a type tarvenn cannot use")
    return parse_value(option, text, column, kind)


def _write(path: str, text: str) -> None:
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    except OSError as exc:
        raise InputError(f"{path}: cannot write it: {exc.strerror or exc}") from None


def report_files(
    reference_path: str,
    current_path: str,
    args: argparse.Namespace,
    out: TextIO = sys.stdout,
    err: TextIO = sys.stderr,
) -> int:
    """Run the report of `current_path` against `reference_path` with the options in `args`;
    return the exit status (0 passed, 1 failed)."""
    roles = _roles(args)
    if args.html and importlib.util.find_spec("jinja2") is None:
        raise InputError("--html needs Jinja2; install tarvenn with the report extra: pip install 'tarvenn[report]'")
    ref_names = read_schema_names(reference_path)
    cur_names = read_schema_names(current_path)
    wanted_cols = [("--columns", c) for c in (args.columns or [])]
    for path, names in ((reference_path, ref_names), (current_path, cur_names)):
        _require(path, names, [*roles, *wanted_cols])
    measures = tuple(args.measures) if args.measures else _ALL_MEASURES
    options = Options(
        columns=args.columns,
        measures=measures,
        bins=args.bins,
        facet=args.facet,
        label=args.label,
        prediction=args.prediction,
        task=args.task,
        decision_threshold=args.decision_threshold,
        threshold=args.threshold,
        drift_measure=args.drift_measure,
        drift_threshold=args.drift_threshold,
        fail_on_undefined=args.fail_on_undefined,
    )
    drift_names = drift_column_names(options, ref_names, cur_names)
    if not drift_names and not roles:
        raise InputError(f"{reference_path} and {current_path} share no column")
    needed = list(dict.fromkeys([*drift_names, *(c for _, c in roles)]))

    progress = Progress(err, quiet=args.quiet)
    progress.message(f"reading {reference_path}")
    reference = read_table(reference_path, [c for c in ref_names if c in set(needed)])
    progress.message(f"reading {current_path}")
    current = read_table(current_path, [c for c in cur_names if c in set(needed)])

    kinds = {name: column_kind(reference.schema.field(name).type) for name in (c for _, c in roles)}
    facet_value = _typed("--facet-value", args.facet_value, args.facet, kinds)
    label_value = _typed("--label-value", args.label_value, args.label, kinds)
    prediction_value = _typed("--prediction-value", args.prediction_value, args.prediction, kinds)
    _check_rules(args, facet_value, label_value, prediction_value)
    options = replace(
        options,
        facet_value=facet_value,
        label_value=label_value if label_value is not None else 1,
        prediction_value=prediction_value,
    )
    report = build_report(
        reference,
        current,
        InputInfo(reference_path, int(reference.num_rows), tuple(ref_names)),
        InputInfo(current_path, int(current.num_rows), tuple(cur_names)),
        options,
        progress,
    )
    del reference, current
    if args.json:
        _write(args.json, report.to_json())
    if args.html:
        _write(args.html, render_html(report))
    progress(1, 1, "")
    if not args.quiet:
        print(summary(report), file=out)
    return 0 if report.passed else 1


def _check_rules(args: argparse.Namespace, *values: Value | None) -> None:
    """The module's explicit segmentation takes a rule for every column it segments: say so in
    the command line's terms rather than the front's."""
    named = [("--facet-value", values[0]), ("--label-value", values[1])]
    if args.prediction is not None and args.facet is not None:
        named.append(("--prediction-value", values[2]))
    rules = [o for o, v in named if isinstance(v, Rule)]
    if not rules or args.facet is None:
        return
    for option, value in named:
        if value is None and option == "--prediction-value":
            raise InputError(f"{rules[0]} is a rule, so --prediction-value must be one too (for example '>=0.5' or '=yes')")
        if value is not None and not isinstance(value, (Rule, str)):
            raise InputError(
                f"{rules[0]} is a rule, so {option} must be one too (for example {option} '>={value}' or '=LABEL')"
            )


def run_report(args: argparse.Namespace) -> int:
    return report_files(args.reference, args.current, args)



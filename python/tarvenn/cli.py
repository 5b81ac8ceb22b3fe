"""The `tarvenn` command: `tarvenn report REFERENCE CURRENT` gates a pipeline on two data files,
`tarvenn demo` shows the report on a synthetic data set with a known shift.

Exit status: 0 when every check passed, 1 when any failed, 2 for bad usage or unreadable input
(one line naming the file or column; the traceback only with --debug).
"""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence
from ._files import InputError

__all__ = ["main", "build_parser"]

_MEASURES = ("JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler")
_BINS = ("FreedmanDiaconis", "Scott", "Sturges")


def _names(text: str) -> list[str]:
    names = [n.strip() for n in text.split(",") if n.strip()]
    if not names:
        raise argparse.ArgumentTypeError("expected a comma-separated list of names")
    return names


def _measure_list(text: str) -> list[str]:
    names = _names(text)
    for n in names:
        if n not in _MEASURES:
            raise argparse.ArgumentTypeError(f"unknown drift measure {n!r}; measures are {', '.join(_MEASURES)}")
    return names


def _report_options(p: argparse.ArgumentParser) -> None:
    g = p.add_argument_group("drift")
    g.add_argument("--columns", type=_names, metavar="A,B,...", help="columns to compare (default: every shared column)")
    g.add_argument("--measures", type=_measure_list, metavar="M,...", help=f"drift measures (default: all of {', '.join(_MEASURES)})")
    g.add_argument("--bins", choices=_BINS, default="FreedmanDiaconis", help="bin rule for numeric columns, applied to the reference (default: %(default)s)")
    g.add_argument("--drift-measure", choices=_MEASURES, default="PopulationStabilityIndex",
                   help="the measure that the drift check of each column uses (default: %(default)s)")
    g.add_argument("--drift-threshold", type=float, default=0.2, metavar="X",
                   help="a column fails when its drift measure exceeds X (default: %(default)s, the usual rule of thumb "
                   "for the population stability index: below 0.1 stable, 0.1 to 0.2 a moderate shift, above 0.2 a large one)")
    g = p.add_argument_group("bias and performance")
    g.add_argument("--facet", metavar="COL", help="the column that defines the group under study")
    g.add_argument("--facet-value", metavar="V",
                   help="the facet's members: a value ('female', 60: a number is a lower threshold on a continuous column) "
                   "or a rule: '>=60', '>60', '<=60', '<60', '=female'")
    g.add_argument("--label", metavar="COL", help="the observed outcome column")
    g.add_argument("--label-value", metavar="V", default="1", help="the positive outcome, as --facet-value (default: 1)")
    g.add_argument("--prediction", metavar="COL", help="the model's prediction (or score) column")
    g.add_argument("--prediction-value", metavar="V",
                   help="the positive prediction, as --facet-value (default: 1; for --task logistic the decision threshold)")
    g.add_argument("--task", choices=("classification", "logistic", "regression"), default="classification",
                   help="classification: hard 0/1 predictions; logistic: scores cut at --decision-threshold; regression (default: %(default)s)")
    g.add_argument("--decision-threshold", type=float, default=0.5, metavar="X", help="score threshold for --task logistic (default: %(default)s)")
    g = p.add_argument_group("checks and output")
    g.add_argument("--threshold", type=float, default=0.10, metavar="X",
                   help="relative threshold of the metric checks, current against reference (default: %(default)s)")
    g.add_argument("--fail-on-undefined", action="store_true", help="a metric that is NaN on either side fails the run")
    g.add_argument("--html", metavar="FILE", help="write the self-contained HTML report to FILE")
    g.add_argument("--json", metavar="FILE", help="write every number, the options and the inputs as JSON to FILE")
    g.add_argument("--quiet", "-q", action="store_true", help="print nothing but errors (no progress, no summary)")
    g.add_argument("--debug", action="store_true", help="show the traceback of an error")


def build_parser() -> argparse.ArgumentParser:
    from . import __version__

    parser = argparse.ArgumentParser(
        prog="tarvenn",
        description="Fairness, performance and drift checks of current data against reference data.",
    )
    parser.add_argument("--version", action="version", version=f"tarvenn {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")
    sub.required = True
    rep = sub.add_parser(
        "report",
        help="compare CURRENT with REFERENCE; exit 1 when a check fails",
        description="Compare CURRENT with REFERENCE (CSV, Parquet or Arrow IPC/Feather files, by extension). "
        "Exit status: 0 when every check passed, 1 when any failed, 2 for bad usage or unreadable input.",
    )
    rep.add_argument("reference", metavar="REFERENCE", help="the reference data file")
    rep.add_argument("current", metavar="CURRENT", help="the current data file")
    _report_options(rep)
    demo = sub.add_parser(
        "demo",
        help="write a synthetic data set with a known shift and report on it",
        description="Write a synthetic reference and current data set with a known shift and run the report on them. "
        "The shift is there on purpose, so some checks fail; the demo still exits with 0.",
    )
    demo.add_argument("--out", metavar="DIR", help="keep the two data files in DIR (default: a temporary folder)")
    demo.add_argument("--rows", type=int, default=20_000, metavar="N", help="rows of each data set (default: %(default)s)")
    demo.add_argument("--html", metavar="FILE", help="write the HTML report to FILE")
    demo.add_argument("--json", metavar="FILE", help="write the JSON report to FILE")
    demo.add_argument("--quiet", "-q", action="store_true", help="print nothing but errors")
    demo.add_argument("--debug", action="store_true", help="show the traceback of an error")
    return parser


def _message(exc: BaseException) -> str:
    # KeyError's str() quotes its message; the others print as they are.
    text = exc.args[0] if isinstance(exc, KeyError) and exc.args else str(exc)
    lines = str(text).strip().splitlines()
    return lines[0] if lines else type(exc).__name__


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    try:
        if args.command == "demo":
            from .demo import run_demo

            return run_demo(args)
        from ._run import run_report

        return run_report(args)
    except KeyboardInterrupt:
        print("tarvenn: interrupted", file=sys.stderr)
        return 130
    except (InputError, KeyError, TypeError, ValueError, OSError) as exc:
        if getattr(args, "debug", False):
            raise
        print(f"tarvenn: error: {_message(exc)}", file=sys.stderr)
        return 2
    except Exception as exc:  # pragma: no cover - a fault of tarvenn itself
        if getattr(args, "debug", False):
            raise
        print(f"tarvenn: internal error: {type(exc).__name__}: {_message(exc)} (run with --debug for the traceback)", file=sys.stderr)
        return 2


if __name__ == "__main__":  # pragma: no cover
    sys.exit(main())

"""Reading a data file into a pyarrow Table, chosen by the file's extension.

CSV, Parquet and Arrow IPC (Feather v2 and the IPC file or stream format) are read through
pyarrow, which the `report` extra installs. Every failure becomes an `InputError` whose one-line
message names the file.
"""

from __future__ import annotations

import importlib
import os
from collections.abc import Sequence
from typing import Any

__all__ = ["InputError", "arrow_module", "FORMATS", "format_of", "read_schema_names", "read_table"]


class InputError(Exception):
    """Bad usage or unreadable input: the command line reports it in one line and exits with 2."""


# Extension (lower case, compression suffix removed) -> format name.
FORMATS: dict[str, str] = {
    ".csv": "csv",
    ".tsv": "tsv",
    ".parquet": "parquet",
    ".pq": "parquet",
    ".arrow": "ipc",
    ".feather": "ipc",
    ".ipc": "ipc",
    ".arrows": "ipc",
}
_COMPRESSED = (".gz", ".bz2", ".zst", ".lz4")


def arrow_module(name: str = "pyarrow") -> Any:
    """A pyarrow module, imported by name (pyarrow ships no type information, so it is used as Any)."""
    try:
        return importlib.import_module(name)
    except ImportError:
        raise InputError(
            "reading data files needs pyarrow; install tarvenn with the report extra: "
            "pip install 'tarvenn[report]'"
        ) from None


def _pyarrow() -> Any:
    return arrow_module("pyarrow")


def format_of(path: str) -> str:
    """The format of `path` from its extension (a .gz, .bz2, .zst or .lz4 suffix on a CSV is allowed)."""
    name = os.path.basename(path).lower()
    stem, ext = os.path.splitext(name)
    if ext in _COMPRESSED:
        _, inner = os.path.splitext(stem)
        if inner in (".csv", ".tsv"):
            return FORMATS[inner]
    if ext not in FORMATS:
        known = ", ".join(sorted(FORMATS))
        shown = ext or "(none)"
        raise InputError(f"{path}: unknown file format {shown}; tarvenn reads {known}")
    return FORMATS[ext]


def _first_line(exc: BaseException) -> str:
    text = str(exc).strip().splitlines()
    return text[0] if text else type(exc).__name__


def _check_file(path: str) -> None:
    if not os.path.exists(path):
        raise InputError(f"{path}: no such file")
    if os.path.isdir(path):
        raise InputError(f"{path}: is a directory, not a data file")


def _read(path: str, fmt: str, columns: Sequence[str] | None) -> Any:
    pa = _pyarrow()
    cols = None if columns is None else list(columns)
    if fmt in ("csv", "tsv"):
        pcsv = arrow_module("pyarrow.csv")
        parse = pcsv.ParseOptions(delimiter="\t" if fmt == "tsv" else ",")
        convert = pcsv.ConvertOptions(include_columns=cols)
        return pcsv.read_csv(path, parse_options=parse, convert_options=convert)
    if fmt == "parquet":
        pq = arrow_module("pyarrow.parquet")
        return pq.read_table(path, columns=cols)
    ipc = arrow_module("pyarrow.ipc")
    with pa.memory_map(path, "r") as source:
        try:
            table = ipc.open_file(source).read_all()
        except pa.ArrowInvalid:
            # Not the IPC file format: try the stream format, which has no footer.
            source.seek(0)
            table = ipc.open_stream(source).read_all()
    return table if cols is None else table.select(cols)


def read_schema_names(path: str) -> list[str]:
    """The column names of `path`, read from its schema without loading the data where the format
    allows (Parquet and IPC); a CSV is read by its header line."""
    _check_file(path)
    fmt = format_of(path)
    pa = _pyarrow()
    try:
        if fmt == "parquet":
            pq = arrow_module("pyarrow.parquet")
            return [str(n) for n in pq.read_schema(path).names]
        if fmt == "ipc":
            return [str(n) for n in _read(path, fmt, None).schema.names]
        pcsv = arrow_module("pyarrow.csv")
        parse = pcsv.ParseOptions(delimiter="\t" if fmt == "tsv" else ",")
        with pcsv.open_csv(path, parse_options=parse) as reader:
            return [str(n) for n in reader.schema.names]
    except (pa.ArrowException, OSError, ValueError) as exc:
        raise InputError(f"{path}: cannot read it as {fmt}: {_first_line(exc)}") from exc


def read_table(path: str, columns: Sequence[str] | None = None) -> Any:
    """`path` as a pyarrow Table (only `columns` when given, in the file's order)."""
    _check_file(path)
    fmt = format_of(path)
    pa = _pyarrow()
    try:
        return _read(path, fmt, columns)
    except (pa.ArrowException, OSError, ValueError) as exc:
        raise InputError(f"{path}: cannot read it as {fmt}: {_first_line(exc)}") from exc

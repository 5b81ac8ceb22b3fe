"""Input preparation: from a frame (or one partition of it) to the arrays that `_tarvenn` takes.

These two functions are the only place where the front reads user data. The bias and performance
entries use `prepare_rows`, the drift entry uses `prepare_drift_column`; code that works per
partition (Dask, Spark) calls them on each partition and gets the same arrays and counts.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from typing import Any, Literal, Union

import numpy as np

from ._frames import Column, Kind, Table, _FrameTable, _MappingTable, open_table

__all__ = [
    "PreparedRows",
    "PreparedColumn",
    "prepare_rows",
    "prepare_drift_column",
    "open_table",
    "no_rows_error",
    "no_values_error",
]

DriftKind = Literal["continuous", "categorical"]


@dataclass(frozen=True)
class PreparedRows:
    """Columns aligned row by row, with the rows where any of them was missing left out.

    `arrays` maps each requested column to a 1-D NumPy array: numbers and booleans as the frame
    holds them (a view without a copy wherever the memory allows), text as an object array of str.
    """

    arrays: Mapping[str, np.ndarray[Any, Any]]
    kinds: Mapping[str, Kind]
    rows_used: int
    rows_dropped: int


@dataclass(frozen=True)
class PreparedColumn:
    """One column's present values for drift, and how many of its rows were missing.

    `values` is a contiguous float64 array for a continuous column and a list of str for a
    categorical one (booleans as "True" and "False").
    """

    name: str
    kind: DriftKind
    values: Union["np.ndarray[Any, np.dtype[np.float64]]", list[str]]
    missing: int
    rows: int


def _table(data: Any, role: str, columns: Sequence[str] | None = None) -> Table:
    return data if isinstance(data, (_FrameTable, _MappingTable)) else open_table(data, role, columns)


def no_rows_error(role: str, names: Sequence[str], total: int) -> ValueError:
    """The error of `prepare_rows` when no row is left of `total`."""
    return ValueError(
        f"no rows of {role} are left: the columns {list(names)!r} have a missing value in every row"
        if total
        else f"{role} has no rows (columns {list(names)!r})"
    )


def no_values_error(column: str, role: str, rows: int) -> ValueError:
    """The error of `prepare_drift_column` when a column has no present value in `rows` rows."""
    return ValueError(f"column {column!r} of {role} has no present values (all {rows} rows are missing)")


def prepare_rows(data: Any, columns: Sequence[str], *, role: str = "data", allow_empty: bool = False) -> PreparedRows:
    """Read `columns` of `data`, dropping every row where any of them is missing.

    Missing means null in the frame library's own sense (pandas: NaN or NA; polars and pyarrow:
    null) and None in a sequence; a NaN held by a polars, pyarrow or NumPy float column is a value.
    Raises KeyError for a column that `data` lacks (listing the columns it has) and ValueError when
    no row is left, unless `allow_empty` (one partition of a larger frame may have none).
    """
    names = list(dict.fromkeys(columns))
    table = _table(data, role, names)
    cols: list[Column] = [table.column(name) for name in names]
    keep = None
    for col in cols:
        mask = col.missing_mask()
        if mask is not None:
            keep = ~mask if keep is None else keep & ~mask
    total = len(table)
    used = total if keep is None else int(np.count_nonzero(keep))
    if used == 0 and not allow_empty:
        raise no_rows_error(role, names, total)
    arrays = {col.name: col.array(keep) for col in cols}
    return PreparedRows(arrays, {col.name: col.kind for col in cols}, used, total - used)


def prepare_drift_column(
    data: Any, column: str, *, role: str = "data", allow_empty: bool = False
) -> PreparedColumn:
    """Read one column of `data` for drift: its present values and the count of missing rows.

    Missing means null (as in `prepare_rows`) and, in a numeric column, NaN too. Numeric columns
    are continuous; text, categorical and boolean columns are categorical. Raises ValueError when
    nothing is left, unless `allow_empty`.
    """
    table = _table(data, role, [column])
    col = table.column(column)
    rows = len(col)
    mask = col.missing_mask()
    keep = None if mask is None else ~mask
    values: np.ndarray[Any, Any] | list[str]
    kind: DriftKind
    if col.kind == "numeric":
        arr = np.ascontiguousarray(col.array(keep), dtype=np.float64)
        nan = np.isnan(arr)
        if nan.any():
            arr = arr[~nan]
        values, kind = arr, "continuous"
    else:
        values, kind = col.texts(keep), "categorical"
    if len(values) == 0 and not allow_empty:
        raise no_values_error(column, role, rows)
    return PreparedColumn(column, kind, values, rows - len(values), rows)

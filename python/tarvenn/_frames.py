"""One view over every input kind: a frame that narwhals knows, or a mapping of columns.

`open_table` turns the caller's object into a `Table`; a `Table` hands out `Column`s. A column
knows its kind (numeric, boolean or text), where it is missing, and how to give its values as the
module takes them. Nothing here loops over rows in Python: NumPy and the frame libraries do the work.
"""

from __future__ import annotations

from collections.abc import Mapping, Sequence
from typing import Any, Literal, Protocol

import numpy as np
import numpy.typing as npt

Kind = Literal["numeric", "boolean", "text"]
BoolArray = npt.NDArray[np.bool_]


class Column(Protocol):
    name: str
    kind: Kind

    def __len__(self) -> int: ...

    def missing_mask(self) -> BoolArray | None:
        """Rows that are null (the frame library's own null; None in a sequence), or None when none is."""

    def array(self, keep: BoolArray | None) -> np.ndarray[Any, Any]:
        """The values as a 1-D NumPy array (text as an object array of str), rows in `keep` only."""

    def texts(self, keep: BoolArray | None) -> list[str]:
        """The values as a list of str, rows in `keep` only (booleans as "True" and "False")."""


class Table(Protocol):
    columns: list[str]

    def __len__(self) -> int: ...

    def column(self, name: str) -> Column: ...


def _missing_column(name: str, columns: Sequence[str], role: str) -> KeyError:
    return KeyError(f"column {name!r} is not in {role}; its columns are {list(columns)!r}")


def _dtype_error(name: str, dtype: object, role: str) -> TypeError:
    return TypeError(
        f"column {name!r} of {role} has type {dtype}, which tarvenn cannot use "
        "(it takes numeric, boolean, text and categorical columns)"
    )


def _kind_of_numpy(dtype: np.dtype[Any]) -> Kind | None:
    if dtype.kind == "b":
        return "boolean"
    if dtype.kind in "iu" or dtype in (np.dtype(np.float64), np.dtype(np.float32)):
        return "numeric" if dtype.isnative else None
    if dtype.kind in "OU":
        return "text"
    return None


def _bool_texts(values: np.ndarray[Any, Any]) -> list[str]:
    out: list[str] = np.where(values, "True", "False").astype(object).tolist()
    return out


# ---------------------------------------------------------------------------------------------
# Mappings of column name to NumPy array or sequence.


class _ArrayColumn:
    def __init__(self, name: str, values: np.ndarray[Any, Any], kind: Kind, missing: BoolArray | None):
        self.name = name
        self.kind: Kind = kind
        self._values = values
        self._missing = missing

    def __len__(self) -> int:
        return int(self._values.shape[0])

    def missing_mask(self) -> BoolArray | None:
        return self._missing

    def array(self, keep: BoolArray | None) -> np.ndarray[Any, Any]:
        values = self._values if keep is None else self._values[keep]
        if values.dtype.kind == "O" and self.kind != "text":
            # Numbers or booleans held in an object array (a list that held None): let NumPy type them.
            values = _infer(values.tolist())
        return values

    def texts(self, keep: BoolArray | None) -> list[str]:
        values = self.array(keep)
        if self.kind == "boolean":
            return _bool_texts(values)
        out: list[str] = values.tolist()
        return out


def _infer(items: list[Any]) -> np.ndarray[Any, Any]:
    arr = np.asarray(items)
    if arr.dtype.kind == "U":
        # Keep the str objects themselves rather than a fixed-width copy of them.
        arr = np.empty(len(items), dtype=object)
        arr[:] = items
    return arr


class _MappingTable:
    def __init__(self, data: Mapping[Any, Any], role: str):
        self._role = role
        self._arrays: dict[str, np.ndarray[Any, Any]] = {}
        for key, value in data.items():
            if not isinstance(key, str):
                raise TypeError(f"{role}: column names must be str, got {type(key).__name__}")
            self._arrays[key] = self._as_array(key, value)
        self.columns = list(self._arrays)
        lengths = {name: int(a.shape[0]) for name, a in self._arrays.items()}
        if len(set(lengths.values())) > 1:
            raise ValueError(f"the columns of {role} differ in length: {lengths!r}")
        self._length = next(iter(lengths.values()), 0)

    def _as_array(self, name: str, value: Any) -> np.ndarray[Any, Any]:
        if isinstance(value, np.ndarray):
            arr = value
        elif isinstance(value, (str, bytes)) or not isinstance(value, Sequence) and not hasattr(value, "__array__"):
            raise TypeError(
                f"column {name!r} of {self._role} must be a NumPy array or a sequence, "
                f"got {type(value).__name__}"
            )
        else:
            arr = _infer(list(value)) if not hasattr(value, "__array__") else np.asarray(value)
        if arr.ndim != 1:
            raise ValueError(f"column {name!r} of {self._role} must be one-dimensional, got shape {arr.shape}")
        return arr

    def __len__(self) -> int:
        return self._length

    def column(self, name: str) -> Column:
        if name not in self._arrays:
            raise _missing_column(name, self.columns, self._role)
        arr = self._arrays[name]
        missing: BoolArray | None = None
        if arr.dtype.kind == "O":
            mask = np.equal(arr, None)
            if mask.any():
                missing = mask
        kind = _kind_of_numpy(arr.dtype)
        if arr.dtype.kind == "O":
            # An object array (a list that held None, or mixed items) is typed by its present items.
            present = arr[~missing] if missing is not None else arr
            kind = _kind_of_numpy(_infer(present.tolist()).dtype) if present.size else "text"
        if kind is None:
            raise _dtype_error(name, arr.dtype, self._role)
        return _ArrayColumn(name, arr, kind, missing)


# ---------------------------------------------------------------------------------------------
# Frames known to narwhals (pandas, polars, pyarrow and the others it supports).


class _FrameColumn:
    def __init__(self, name: str, series: Any, kind: Kind, pandas_like: bool):
        self.name = name
        self.kind: Kind = kind
        self._series = series
        self._pandas_like = pandas_like

    def __len__(self) -> int:
        return int(len(self._series))

    def _numpy(self, series: Any) -> np.ndarray[Any, Any]:
        import narwhals as nw

        if series.dtype in (nw.Categorical, nw.Enum):
            series = series.cast(nw.String)
        arr: np.ndarray[Any, Any] = series.to_numpy()
        return arr

    def missing_mask(self) -> BoolArray | None:
        s = self._series
        if self._pandas_like and self.kind == "numeric":
            # pandas marks a missing float as NaN; a NaN minimum finds one without counting.
            view = self._numpy(s)
            if view.dtype.kind in "iu" or len(view) == 0 or not np.isnan(view.min()):
                return None
        elif s.null_count() == 0:
            return None
        mask: BoolArray = s.is_null().to_numpy().astype(bool, copy=False)
        return mask

    def _kept(self, keep: BoolArray | None) -> Any:
        if keep is None:
            return self._series
        import narwhals as nw

        return self._series.filter(nw.new_series("keep", keep, nw.Boolean, backend=self._series.implementation))

    def array(self, keep: BoolArray | None) -> np.ndarray[Any, Any]:
        return self._numpy(self._kept(keep))

    def texts(self, keep: BoolArray | None) -> list[str]:
        import narwhals as nw

        s = self._kept(keep)
        if self.kind == "boolean":
            return _bool_texts(s.to_numpy())
        if s.dtype != nw.String:
            s = s.cast(nw.String)
        out: list[str] = s.to_list()
        return out


class _FrameTable:
    def __init__(self, frame: Any, role: str):
        import narwhals as nw

        if isinstance(frame, nw.LazyFrame):
            frame = frame.collect()
        self._frame = frame
        self._role = role
        self.columns: list[str] = [str(c) for c in frame.columns]
        self._pandas_like = frame.implementation.is_pandas_like()

    def __len__(self) -> int:
        return int(len(self._frame))

    def column(self, name: str) -> Column:
        import narwhals as nw

        if name not in self.columns:
            raise _missing_column(name, self.columns, self._role)
        series = self._frame.get_column(name)
        dtype = series.dtype
        kind: Kind
        if dtype == nw.Boolean:
            kind = "boolean"
        elif dtype in (nw.String, nw.Categorical, nw.Enum):
            kind = "text"
        elif dtype.is_numeric() and not dtype == nw.Decimal:
            kind = "numeric"
        else:
            raise _dtype_error(name, dtype, self._role)
        return _FrameColumn(name, series, kind, self._pandas_like)


def open_table(data: Any, role: str = "data") -> Table:
    """A `Table` over `data`: a mapping of column name to array or sequence, or any frame that
    narwhals knows (a lazy frame is collected)."""
    if isinstance(data, Mapping):
        return _MappingTable(data, role)
    try:
        import narwhals as nw
    except ImportError:  # pragma: no cover - narwhals is a dependency of the package
        raise TypeError(f"{role} must be a mapping of column name to array (narwhals is not installed)") from None
    try:
        frame = nw.from_native(data, pass_through=False)
    except TypeError:
        raise TypeError(
            f"{role} must be a pandas, polars or pyarrow frame, or a mapping of column name to array, "
            f"got {type(data).__name__}"
        ) from None
    if not isinstance(frame, (nw.DataFrame, nw.LazyFrame)):
        raise TypeError(f"{role} must be a frame or a mapping of columns, got a series ({type(data).__name__})")
    return _FrameTable(frame, role)

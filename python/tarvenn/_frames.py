"""One view over every input kind: a frame that narwhals knows, or a mapping of columns.

`open_table` turns the caller's object into a `Table`; a `Table` hands out `Column`s. A column
knows its kind (numeric, boolean or text), where it is missing, and how to give its values as the
module takes them. Nothing here loops over rows in Python: NumPy and the frame libraries do the work.
"""

from __future__ import annotations

import importlib

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
    """A column of a mapping: a NumPy array, or a list kept as given until an array is needed
    (a list of str goes to the module's text input as it is)."""

    def __init__(self, name: str, values: np.ndarray[Any, Any] | list[Any], kind: Kind, missing: BoolArray | None):
        self.name = name
        self.kind: Kind = kind
        self._values = values
        self._missing = missing

    def __len__(self) -> int:
        return len(self._values)

    def missing_mask(self) -> BoolArray | None:
        return self._missing

    def array(self, keep: BoolArray | None) -> np.ndarray[Any, Any]:
        values = self._values
        if isinstance(values, list):
            values = _objects(values) if self._missing is not None or self.kind == "text" else _infer(values)
        if keep is not None:
            values = values[keep]
        if values.dtype.kind == "O" and self.kind != "text":
            # Numbers or booleans held in an object array (a list that held None): let NumPy type them.
            values = _infer(values.tolist())
        return values

    def texts(self, keep: BoolArray | None) -> list[str]:
        if keep is None and self.kind == "text" and isinstance(self._values, list):
            return self._values
        values = self.array(keep)
        if self.kind == "boolean":
            return _bool_texts(values)
        out: list[str] = values.tolist()
        return out


def _objects(items: list[Any]) -> np.ndarray[Any, Any]:
    arr = np.empty(len(items), dtype=object)
    arr[:] = items
    return arr


def _infer(items: list[Any]) -> np.ndarray[Any, Any]:
    """A 1-D array of `items`: NumPy's own type for numbers and booleans, an object array holding
    the str objects themselves for text (a fixed-width str copy would be slower and larger)."""
    if items and isinstance(items[0], str):
        return _objects(items)
    arr = np.asarray(items)
    return _objects(items) if arr.dtype.kind == "U" else arr


class _MappingTable:
    def __init__(self, data: Mapping[Any, Any], role: str):
        self._role = role
        self._values: dict[str, np.ndarray[Any, Any] | list[Any]] = {}
        for key, value in data.items():
            if not isinstance(key, str):
                raise TypeError(f"{role}: column names must be str, got {type(key).__name__}")
            self._values[key] = self._checked(key, value)
        self.columns = list(self._values)
        lengths = {name: len(v) for name, v in self._values.items()}
        if len(set(lengths.values())) > 1:
            raise ValueError(f"the columns of {role} differ in length: {lengths!r}")
        self._length = next(iter(lengths.values()), 0)

    def _checked(self, name: str, value: Any) -> np.ndarray[Any, Any] | list[Any]:
        if isinstance(value, np.ndarray):
            arr = value
        elif hasattr(value, "__array__") and not isinstance(value, (list, tuple)):
            arr = np.asarray(value)
        elif isinstance(value, Sequence) and not isinstance(value, (str, bytes)):
            return value if isinstance(value, list) else list(value)
        else:
            raise TypeError(
                f"column {name!r} of {self._role} must be a NumPy array or a sequence, "
                f"got {type(value).__name__}"
            )
        if arr.ndim != 1:
            raise ValueError(f"column {name!r} of {self._role} must be one-dimensional, got shape {arr.shape}")
        return arr

    def __len__(self) -> int:
        return self._length

    def column(self, name: str) -> Column:
        if name not in self._values:
            raise _missing_column(name, self.columns, self._role)
        values = self._values[name]
        missing: BoolArray | None = None
        if isinstance(values, list):
            if None in values:  # one scan in C; the rows are found only when there are some
                missing = np.asarray(_objects(values) == None, dtype=bool)  # noqa: E711 - elementwise
            present = values[:1] if missing is None else _objects(values)[~missing][:1].tolist()
            if not present:
                kind: Kind | None = "text"
            elif isinstance(present[0], str):
                kind = "text"
            elif missing is None:
                inferred = _infer(values)
                kind = _kind_of_numpy(inferred.dtype)
                if kind is not None:
                    return _ArrayColumn(name, inferred, kind, None)
            else:
                kind = _kind_of_numpy(_infer(_objects(values)[~missing].tolist()).dtype)
            if kind is None:
                raise _dtype_error(name, type(present[0]).__name__, self._role)
            return _ArrayColumn(name, values, kind, missing)
        if values.dtype.kind == "O":
            mask: BoolArray = np.asarray(values == None, dtype=bool)  # noqa: E711 - elementwise, in C
            if mask.any():
                missing = mask
            present_arr = values[~mask] if missing is not None else values
            kind = _kind_of_numpy(_infer(present_arr.tolist()).dtype) if present_arr.size else "text"
        else:
            kind = _kind_of_numpy(values.dtype)
        if kind is None:
            raise _dtype_error(name, values.dtype, self._role)
        return _ArrayColumn(name, values, kind, missing)


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

        if series.dtype in (nw.Categorical, nw.Enum) or (series.dtype == nw.String and not _object_backed(series)):
            labels = _dictionary_labels(series)
            if labels is not None:
                return labels
            if series.dtype != nw.String:
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
        s = self._kept(keep)
        values = s.to_numpy() if self.kind == "boolean" else self._numpy(s)
        if self.kind == "boolean":
            return _bool_texts(values)
        out: list[str] = values.tolist()
        return out


def _object_backed(series: Any) -> bool:
    """True for a column already held as Python str objects (a pandas object column), whose
    NumPy form costs nothing."""
    return getattr(series.to_native(), "dtype", None) == np.dtype(object)


def _dictionary_labels(series: Any) -> np.ndarray[Any, Any] | None:
    """A text column as an object array of str, built from its dictionary encoding: each distinct
    label becomes one str object and the rows share it, which is several times faster than one new
    str per row. None when pyarrow is not installed."""
    try:
        pa = importlib.import_module("pyarrow")
        pc = importlib.import_module("pyarrow.compute")
    except ImportError:
        return None
    arrow = series.to_arrow()
    if isinstance(arrow, pa.ChunkedArray):
        arrow = arrow.combine_chunks()
    encoded = arrow if pa.types.is_dictionary(arrow.type) else pc.dictionary_encode(arrow)
    codes = encoded.indices.to_numpy(zero_copy_only=False)
    labels = np.empty(len(encoded.dictionary), dtype=object)
    labels[:] = encoded.dictionary.to_pylist()
    out: np.ndarray[Any, Any] = labels[codes]
    return out


class _FrameTable:
    def __init__(self, frame: Any, role: str, columns: Sequence[str] | None = None):
        import narwhals as nw

        if isinstance(frame, nw.LazyFrame):
            # Collect only what is asked for; a missing name is reported by `column` below.
            names = [str(c) for c in frame.collect_schema().names()]
            if columns is not None:
                frame = frame.select([c for c in dict.fromkeys(columns) if c in names] or names[:1])
            frame = frame.collect()
        else:
            names = [str(c) for c in frame.columns]
        self._frame = frame
        self._role = role
        self.columns: list[str] = names
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


def open_table(data: Any, role: str = "data", columns: Sequence[str] | None = None) -> Table:
    """A `Table` over `data`: a mapping of column name to array or sequence, or any frame that
    narwhals knows. A lazy frame is collected, limited to `columns` when they are given."""
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
    return _FrameTable(frame, role, columns)

"""Shared parts of the fuzz targets: decoding the fuzzer's bytes into argument values, the
valid calls that the decoded values perturb, and the oracle.

A call is built from one valid call of an entry: each argument is either kept or replaced by a
decoded value, some are passed by keyword, and now and then an argument is dropped or an unknown
keyword added. Keeping most arguments valid lets a call get past the first argument checks and
reach the deeper conversions and the computation.

The oracle: a call returns, or raises TypeError, ValueError, OverflowError, MemoryError or the
Boom raised by the hostile objects below. Anything else propagates and fails the fuzz run; a
crash, a sanitizer report or a call running past the fuzzer's -timeout fails it from outside.
For objects, a failed method call must leave the object's observable state unchanged.
"""
import math
import sys

import numpy as np

import _tarvenn as t

ORDINARY = (TypeError, ValueError, OverflowError, MemoryError)


class Boom(Exception):
    """Raised by the hostile objects; the module must let it through unchanged."""


class Finding(AssertionError):
    pass


# ---------------------------------------------------------------------------------------------
# Hostile objects: conversions that raise, lie or mutate the container being read.

class RaisingFloat:
    def __float__(self):
        raise Boom("__float__")


class RaisingIndex:
    def __index__(self):
        raise Boom("__index__")


class WrongFloat:
    def __float__(self):
        return "not a float"


class WrongIndex:
    def __index__(self):
        return 2.5


class HugeIndex:
    def __index__(self):
        return 1 << 80


class Mutating:
    """Empties (or grows) the list it sits in as soon as it is converted."""

    def __init__(self, box, grow):
        self.box, self.grow = box, grow

    def _mutate(self):
        if self.grow:
            self.box.extend([1.0] * 64)
        else:
            self.box.clear()

    def __float__(self):
        self._mutate()
        return 0.5

    def __index__(self):
        self._mutate()
        return 1


class LyingSequence:
    """Claims a length it cannot deliver, or fails part way through iteration."""

    def __init__(self, items, claimed, fail_at):
        self.items, self.claimed, self.fail_at = items, claimed, fail_at

    def __len__(self):
        if self.claimed < 0:
            raise Boom("__len__")
        return self.claimed

    def __getitem__(self, i):
        if i == self.fail_at:
            raise Boom("__getitem__")
        return self.items[i]

    def __iter__(self):
        for i, item in enumerate(self.items):
            if i == self.fail_at:
                raise Boom("__iter__")
            yield item


class StrSubclass(str):
    pass


class FloatSubclass(float):
    pass


class IntSubclass(int):
    pass


# ---------------------------------------------------------------------------------------------
# Decoding.

DRIFT_NAMES = ["JensenShannon", "KullbackLeibler", "PopulationStabilityIndex", "WassersteinDistance"]
QUANTILE_NAMES = ["FreedmanDiaconis", "Scott", "Sturges"]
THRESHOLD_NAMES = ["GreaterThan", "GreaterThanEqualTo", "LessThan", "LessThanEqualTo"]

SPECIAL_INTS = [0, 1, -1, 2, 127, 128, -128, -129, 255, 2**31 - 1, 2**31, -2**31 - 1, 2**32,
                2**53 + 1, 2**63 - 1, 2**63, -2**63, -2**63 - 1, 2**64, 2**64 - 1, 10**30, -10**30, True, False]
SPECIAL_FLOATS = [0.0, -0.0, 0.5, 1.0, -1.0, math.nan, -math.nan, math.inf, -math.inf, 1e308, -1e308,
                  5e-324, 2.0**63, 2.0**64, 3.4028235e38, 3.5e38, 1e-45, 0.1, 0.2, 60.0]
SPECIAL_TEXT = ["", "a", "b", "c", "x", "\x00", "a\x00b", "\ud800", "\udfff", "é", "\U0001f600",
                "GreaterThan\x00", "Scott ", "nan", "inf", "-1", "a" * 300, "\\\"\n\t\r\x7f"]
DTYPES = ["f8", "f4", "f2", "i1", "i2", "i4", "i8", "u1", "u2", "u4", "u8", "?", "c16", "O",
          "U3", "S3", "M8[s]", "m8[s]", ">f8", ">f4", ">i8", ">i4", "<f8", "V8"]


class Decoder:
    """Turns fuzzer bytes into Python values. Every choice consumes bytes, so that the fuzzer's
    mutations map to small changes of the call."""

    def __init__(self, fdp, names=()):
        self.fdp = fdp
        self.names = list(names) + DRIFT_NAMES + QUANTILE_NAMES + THRESHOLD_NAMES

    def left(self):
        return self.fdp.remaining_bytes()

    def pick(self, seq):
        return seq[self.fdp.ConsumeIntInRange(0, len(seq) - 1)]

    def flag(self):
        return self.fdp.ConsumeBool()

    def small(self, hi):
        return self.fdp.ConsumeIntInRange(0, hi)

    def integer(self):
        if self.flag():
            return self.pick(SPECIAL_INTS)
        return self.fdp.ConsumeIntInRange(-300, 300)

    def real(self):
        if self.flag():
            return self.pick(SPECIAL_FLOATS)
        return self.fdp.ConsumeFloat()

    def text(self):
        k = self.small(3)
        if k == 0:
            return self.pick(self.names)
        if k == 1:
            return self.pick(SPECIAL_TEXT)
        if k == 2:
            return StrSubclass(self.pick(self.names))
        return self.fdp.ConsumeUnicodeNoSurrogates(self.small(12)) if self.flag() else \
            self.fdp.ConsumeUnicode(self.small(12))

    def hostile(self, box):
        k = self.small(8)
        return [RaisingFloat(), RaisingIndex(), WrongFloat(), WrongIndex(), HugeIndex(),
                Mutating(box, False), Mutating(box, True), FloatSubclass(self.real()),
                IntSubclass(self.integer())][k]

    def scalar(self, box=None):
        k = self.small(9)
        if k == 0:
            return self.integer()
        if k == 1:
            return self.real()
        if k == 2:
            return self.text()
        if k == 3:
            return None
        if k == 4:
            return self.flag()
        if k == 5:
            return np.dtype(self.pick(["f8", "f4", "i8", "i1", "u8", "?"])).type(self.small(3))
        if k == 6:
            return self.hostile(box if box is not None else [])
        if k == 7:
            return np.float64(self.real())
        if k == 8:
            return complex(self.real(), 1.0)
        return b"\x00bytes"

    def sequence(self):
        n = self.small(12)
        box = []
        uniform = self.small(3)
        for _ in range(n):
            if uniform == 0:
                box.append(self.small(2))
            elif uniform == 1:
                box.append(self.real())
            elif uniform == 2:
                box.append(self.pick(self.names[:6] + ["a", "b", "c"]))
            else:
                box.append(self.scalar(box))
        k = self.small(4)
        if k == 0:
            return tuple(box)
        if k == 1:
            return LyingSequence(box, self.fdp.ConsumeIntInRange(-1, 20), self.fdp.ConsumeIntInRange(-1, 12))
        if k == 2:
            return iter(box) if self.flag() else range(self.fdp.ConsumeIntInRange(-2, 20))
        return box

    def array(self):
        dtype = np.dtype(self.pick(DTYPES))
        n = self.small(40)
        raw = self.fdp.ConsumeBytes(min(n * 8, 320))
        base = np.frombuffer(raw.ljust(n * 8, b"\x01"), dtype=np.uint8)
        if dtype.kind in "fc":
            values = np.frombuffer(base.tobytes(), dtype="f8")[:n].copy()
            if self.flag():
                values[values != values] = 0.0  # keep NaN rare unless asked for
            a = values.astype(dtype, copy=False) if dtype.kind != "c" else values.astype(dtype)
        elif dtype.kind in "iu?":
            a = base[:n].astype(np.int64) % (3 if self.flag() else 256) - (0 if self.flag() else 128)
            a = a.astype(dtype)
        elif dtype.kind == "O":
            box = []
            for _ in range(min(n, 8)):
                box.append(self.scalar(box))
            a = np.empty(len(box), dtype=object)
            a[:] = box
        elif dtype.kind in "US":
            a = np.array([self.pick(["a", "b", "c", "\x00", ""]) for _ in range(min(n, 8))], dtype=dtype)
        else:
            a = np.zeros(n, dtype=dtype)
        return self.shape(a)

    def shape(self, a):
        k = self.small(8)
        if k == 1 and a.size >= 2:
            step = self.pick([2, -1, -2, 3])
            return a[::step]
        if k == 2:
            return a.reshape(1, -1) if self.flag() else a.reshape(-1, 1)
        if k == 3 and a.size:
            return np.asarray(a[0])  # 0-d
        if k == 4 and a.dtype.kind != "O":
            raw = b"\x00" + a.tobytes()
            return np.frombuffer(raw, dtype=a.dtype, offset=1)  # unaligned, read-only
        if k == 5:
            a = a.copy()
            a.flags.writeable = False
            return a
        if k == 6 and a.size >= 4 and a.size % 2 == 0:
            return np.asfortranarray(a.reshape(2, -1))
        if k == 7:
            return a[:0]
        return a

    def dict_value(self, template):
        """A metric map: the template's keys with perturbed values, keys or extras."""
        d = dict(template) if isinstance(template, dict) else {}
        for _ in range(self.small(3)):
            k = self.small(5)
            keys = list(d)
            if k == 0 and keys:
                d.pop(self.pick(keys))
            elif k == 1 and keys:
                d[self.pick(keys)] = self.scalar()
            elif k == 2:
                d[self.pick([1, None, (1, 2), b"x", 2.5, StrSubclass("LpNorm")])] = self.real()
            elif k == 3:
                d[self.text()] = self.real()
            elif keys:
                d[self.pick(keys)] = self.real()
        if self.small(6) == 0:
            return self.pick([list(d.items()), None, "LpNorm", set(d)])
        return d

    def value(self, template):
        """A replacement for an argument whose valid value is `template`."""
        k = self.small(6)
        if isinstance(template, dict) and k < 3:
            return self.dict_value(template)
        if k == 0:
            return self.array()
        if k == 1:
            return self.sequence()
        if k == 2 and isinstance(template, list) and template:
            mixed = list(template)
            mixed[self.small(len(mixed) - 1)] = self.scalar(mixed)
            return mixed
        if k == 3 and isinstance(template, np.ndarray):
            return self.shape(template.astype(self.pick(DTYPES[:13])))
        return self.scalar()


# ---------------------------------------------------------------------------------------------
# Calls and the oracle.

def params(fn):
    sig = fn.__text_signature__.replace("$self, ", "").replace("$self", "")
    return [p.strip().partition("=")[0] for p in sig.strip("()").split(",") if p.strip()]


def build_call(dec, names, valid):
    """Positional and keyword arguments from a valid argument tuple."""
    values = list(valid)
    for i in range(len(values)):
        if dec.small(3) == 0:
            values[i] = dec.value(values[i])
    nkw = dec.small(len(values))
    pos = values[:len(values) - nkw]
    kw = dict(zip(names[len(pos):], values[len(pos):]))
    k = dec.small(12)
    if k == 0 and pos:
        pos.pop()
    elif k == 1:
        pos.append(dec.scalar())
    elif k == 2:
        kw[dec.pick(["bogus", names[0] if names else "x", "\x00"])] = dec.scalar()
    return pos, kw


def call(fn, pos, kw, where):
    """Calls fn; an exception outside the ordinary ones, or a reference to an argument that the
    call keeps (a reference leak: the module copies what it keeps), is a finding."""
    args = list(pos) + list(kw.values())
    refs = [sys.getrefcount(a) for a in args]
    try:
        result, err = fn(*pos, **kw), None
    except (*ORDINARY, Boom) as e:
        result, err = None, e
    except BaseException as e:
        raise Finding(f"{where}: {type(e).__name__}: {e!r} for args={pos!r} kwargs={kw!r}") from e
    # Tracebacks hold the frames of a hostile object's methods, and so the object itself.
    e = err
    while e is not None:
        e.__traceback__ = None
        e = e.__cause__ or e.__context__
    after = [sys.getrefcount(a) for a in args]
    kept = [(a, b, c) for a, b, c in zip(args, refs, after)
            if c > b and not isinstance(a, (int, str, bool, type(None)))]
    if kept:
        raise Finding(f"{where}: a reference to an argument leaked ({kept[0][1]} -> {kept[0][2]}, "
                      f"{type(kept[0][0]).__name__}), error={err!r}, args={pos!r} kwargs={kw!r}")
    return result, err


def probe(obj, probes):
    """The observable state of `obj`: the results (or errors) of its read-only methods."""
    out = []
    for name in probes:
        try:
            out.append(repr(getattr(obj, name)()))
        except Exception as e:  # an empty monitor may refuse a snapshot; that refusal is state too
            out.append(f"{type(e).__name__}: {e}")
    for name in ("num_bins", "n_bins", "total_samples"):
        if hasattr(obj, name):
            out.append(repr(getattr(obj, name)))
    return out


def run_function(data, functions):
    """One call of one of `functions` ({name: factory of valid args})."""
    import atheris
    dec = Decoder(atheris.FuzzedDataProvider(data))
    name = dec.pick(sorted(functions))
    fn = getattr(t, name)
    pos, kw = build_call(dec, params(fn), functions[name]())
    call(fn, pos, kw, f"{name}()")


def run_class(data, classes):
    """A constructor call, then a short sequence of method calls on the object.

    `classes` maps a class name to (factory of valid constructor args, {method: factory of
    valid args}, read-only probe methods)."""
    import atheris
    dec = Decoder(atheris.FuzzedDataProvider(data))
    cname = dec.pick(sorted(classes))
    ctor, methods, probes = classes[cname]
    cls = getattr(t, cname)
    pos, kw = build_call(dec, params(cls), ctor())
    obj, err = call(cls, pos, kw, f"{cname}.__new__()")
    if obj is None:
        obj, _ = call(cls, list(ctor()), {}, f"{cname}.__new__()")
    mnames = sorted(methods)
    for _ in range(dec.small(6)):
        if dec.left() == 0:
            break
        mname = dec.pick(mnames)
        meth = getattr(obj, mname)
        before = probe(obj, probes)
        pos, kw = build_call(dec, params(meth), methods[mname]())
        _, err = call(meth, pos, kw, f"{cname}.{mname}()")
        if err is not None:
            after = probe(obj, probes)
            if after != before:
                raise Finding(f"{cname}.{mname}() failed with {type(err).__name__}: {err} "
                              f"and changed the object: {before} -> {after}; args={pos!r} kwargs={kw!r}")


def main(test_one):
    import atheris
    atheris.Setup(sys.argv, test_one)
    atheris.Fuzz()

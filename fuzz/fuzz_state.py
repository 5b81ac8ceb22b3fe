"""Fuzz target of the state loader: valid saved states of every class, mutated (byte
flips and sets, insertions, truncations, length fields, with or without a repaired
checksum so that the field checks are reached), loaded through _from_state and
__setstate__. A load either fails with ValueError, leaving the target unchanged, or
gives an object that works and saves again to a state that loads.

    python fuzz/fuzz_state.py -runs=1000000
"""
import os
import sys

import atheris
import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

with atheris.instrument_imports():
    import state_cases as sc

import _tarvenn as t

SEEDS = {name: [sc.with_history(name, np.random.default_rng(seed)).__getstate__() for seed in range(4)]
         for name in sc.CLASSES}
TARGETS = {name: sc.with_history(name, np.random.default_rng(99)) for name in sc.CLASSES}
CHECKED = {name: TARGETS[name].__getstate__() for name in sc.CLASSES if "Flush" not in name}


def mutate(fdp, state):
    state = bytearray(state)
    for _ in range(fdp.ConsumeIntInRange(1, 4)):
        op = fdp.ConsumeIntInRange(0, 5)
        pos = fdp.ConsumeIntInRange(0, max(len(state) - 1, 0))
        if op == 0 and state:
            state[pos] ^= 1 << fdp.ConsumeIntInRange(0, 7)
        elif op == 1 and state:
            state[pos] = fdp.ConsumeIntInRange(0, 255)
        elif op == 2:
            state[pos:pos] = fdp.ConsumeBytes(fdp.ConsumeIntInRange(1, 16))
        elif op == 3:
            del state[pos:pos + fdp.ConsumeIntInRange(1, 16)]
        elif op == 4 and len(state) >= pos + 8:
            # a length-sized field: huge, just too big, or zero
            value = fdp.PickValueInList([2 ** 60, 2 ** 64 - 1, 2 ** 32, 0, len(state), 1])
            state[pos:pos + 8] = value.to_bytes(8, "little")
        elif op == 5:
            state = state[:pos]
    return bytes(state)


def TestOneInput(data):
    fdp = atheris.FuzzedDataProvider(data)
    name = sc.CLASSES[fdp.ConsumeIntInRange(0, len(sc.CLASSES) - 1)]
    cls = getattr(t, name)
    seeds = SEEDS[name]
    state = seeds[fdp.ConsumeIntInRange(0, len(seeds) - 1)]
    if fdp.ConsumeBool():
        state = mutate(fdp, state)
        if len(state) >= sc.HEADER + 4 and fdp.ConsumeBool():
            state = sc.reframe(state)
    else:
        state = fdp.ConsumeBytes(fdp.ConsumeIntInRange(0, 64)) if fdp.ConsumeBool() else state
    try:
        obj = cls._from_state(state)
    except ValueError:
        loaded = False
    else:
        loaded = True
        sc.observe(obj, name)
        again = cls._from_state(obj.__getstate__())
        assert sc.observe(again, name) == sc.observe(obj, name) or "Decay" in name
        if name in sc.MERGEABLE:
            try:
                obj.merge(again)
            except ValueError:
                pass
    target = TARGETS[name]
    try:
        target.__setstate__(state)
    except ValueError:
        assert not loaded
        if name in CHECKED:
            assert target.__getstate__() == CHECKED[name], "a failed __setstate__ changed the object"
    else:
        assert loaded
        if name in CHECKED:
            target.__setstate__(CHECKED[name])


if __name__ == "__main__":
    atheris.Setup(sys.argv, TestOneInput)
    atheris.Fuzz()

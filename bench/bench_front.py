"""What the `tarvenn` front adds to a plain `_tarvenn` call.

For each entry and each frame library, the front on a frame is timed side by side with the module
on the same data as NumPy arrays (best of several interleaved runs), and the ratio printed:

    python bench/bench_front.py             # 10M rows for bias and performance, 1M x 20 for drift
    python bench/bench_front.py --rows 1000000 --drift-rows 200000 --clock wall
"""

from __future__ import annotations

import argparse
import time

import numpy as np
import pandas as pd
import polars as pl
import pyarrow as pa

import _tarvenn
import tarvenn


CLOCK = time.process_time


def best_pair(front, module, repeat):
    """Best time of each of two callables, run alternately so that drift in machine load hits both."""
    tf, tm = [], []
    for _ in range(repeat):
        start = CLOCK()
        module()
        tm.append(CLOCK() - start)
        start = CLOCK()
        front()
        tf.append(CLOCK() - start)
    return min(tf), min(tm)


def frames(columns):
    return {"pandas": pd.DataFrame(columns, copy=False), "polars": pl.DataFrame(columns), "pyarrow": pa.table(columns)}


def bias_and_performance(rows, repeat):
    rng = np.random.default_rng(0)
    c = {
        "group": rng.integers(0, 2, rows),
        "age": rng.normal(45.0, 12.0, rows),
        "y": rng.integers(0, 2, rows),
        "pred": rng.integers(0, 2, rows),
        "score": rng.random(rows),
        "target": rng.normal(3.0, 1.0, rows),
    }
    # (name, front call, module call, the columns the front reads)
    cases = [
        ("data_bias (int facet)", lambda d: tarvenn.data_bias(d, facet="group", label="y", facet_value=1),
         lambda: _tarvenn.py_data_bias_analyzer(c["group"], c["y"], 1, 1), ["group", "y"]),
        ("data_bias (float facet)", lambda d: tarvenn.data_bias(d, facet="age", label="y", facet_value=50.0),
         lambda: _tarvenn.py_data_bias_analyzer(c["age"], c["y"], 50.0, 1), ["age", "y"]),
        ("model_bias", lambda d: tarvenn.model_bias(d, facet="group", label="y", prediction="pred", facet_value=1),
         lambda: _tarvenn.py_model_bias_analyzer(c["group"], c["y"], c["pred"], 1, 1, 1), ["group", "y", "pred"]),
        ("classification", lambda d: tarvenn.performance(d, label="y", prediction="pred", task="classification"),
         lambda: _tarvenn.py_model_perf_classification(c["y"], c["pred"]), ["y", "pred"]),
        ("logistic", lambda d: tarvenn.performance(d, label="y", prediction="score", task="logistic"),
         lambda: _tarvenn.py_model_perf_logistic_regression(c["y"], c["score"], 0.5), ["y", "score"]),
        ("regression", lambda d: tarvenn.performance(d, label="target", prediction="score", task="regression"),
         lambda: _tarvenn.py_model_perf_linear_regression(c["target"], c["score"]), ["target", "score"]),
    ]
    print(f"bias and performance, {rows:,} rows (front / module, best of {repeat})")
    print("  (prep: the front's own work, tarvenn.prepare_rows alone, as a share of the module call)")
    print(f"  {'entry':26} {'library':8} {'module s':>9} {'front s':>9} {'ratio':>7} {'prep s':>9} {'prep %':>7}")
    for library, data in frames(c).items():
        for name, front, module, used in cases:
            tf, tm = best_pair(lambda: front(data), module, repeat)
            tp = best_pair(lambda: tarvenn.prepare_rows(data, used), lambda: None, repeat)[0]
            print(f"  {name:26} {library:8} {tm:9.4f} {tf:9.4f} {tf / tm:7.3f} {tp:9.5f} {100 * tp / tm:6.2f}%")


def drift(rows, repeat):
    rng = np.random.default_rng(1)
    labels = np.array([f"label_{i}" for i in range(12)], dtype=object)

    def columns(shift):
        out = {}
        for i in range(12):
            out[f"num_{i}"] = rng.normal(shift * i / 10, 1.0, rows)
        for i in range(8):
            out[f"cat_{i}"] = labels[np.minimum(rng.geometric(0.3 - shift / 10, rows) - 1, 11)]
        return out

    ref, cur = columns(0.0), columns(0.5)
    measures = list(tarvenn.DRIFT_MEASURES)
    # What a user of the module would hold: float64 arrays and lists of str.
    ref_in = {k: v if v.dtype.kind == "f" else v.tolist() for k, v in ref.items()}
    cur_in = {k: v if v.dtype.kind == "f" else v.tolist() for k, v in cur.items()}

    def module():
        for name in ref:
            if name.startswith("num"):
                _tarvenn.py_compute_drift_continuous_distribtuion(ref_in[name], cur_in[name], measures, None)
            else:
                _tarvenn.py_compute_drift_categorical_distribtuion(ref_in[name], cur_in[name], measures)

    print(f"drift, {rows:,} rows x 20 columns (12 numeric, 8 text; front / per-column module calls)")
    print(f"  {'library':8} {'module s':>9} {'front s':>9} {'ratio':>7}")
    ref_frames, cur_frames = frames(ref), frames(cur)
    ref_frames["dict"], cur_frames["dict"] = ref_in, cur_in
    for library in ref_frames:
        r, k = ref_frames[library], cur_frames[library]
        tf, tm = best_pair(lambda: tarvenn.drift(r, k), module, repeat)
        print(f"  {library:8} {tm:9.4f} {tf:9.4f} {tf / tm:7.3f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--drift-rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--clock", choices=["cpu", "wall"], default="cpu",
                        help="cpu: this process's CPU time (steadier on a shared machine); wall: elapsed time")
    args = parser.parse_args()
    global CLOCK
    CLOCK = time.process_time if args.clock == "cpu" else time.perf_counter
    print(f"clock: {args.clock}")
    bias_and_performance(args.rows, args.repeat)
    drift(args.drift_rows, args.repeat)


if __name__ == "__main__":
    main()

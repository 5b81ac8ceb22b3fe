"""Rows per second and peak memory: a Parquet data set through tarvenn.dask on a local cluster of
two single-threaded worker processes, against one process (the front on the whole table, and the
engine's accumulators fed file by file).

    python bench/bench_scale.py --rows 100_000_000 --files 50 --dir /tmp/tarvenn-scale

The data set is written once (and reused when it is already there): an int8 group, an int8 label
and a float32 score. Each computation runs on the same rows: data bias with explicit rules (one
pass), data bias with a plain facet value on the integer group (the continuity decision: three
passes), and logistic-regression performance (one pass). Peak memory is each process's maximum
resident set size (ru_maxrss), read after the runs.
"""

from __future__ import annotations

import argparse
import os
import resource
import time

import numpy as np
import pyarrow as pa
import pyarrow.parquet as pq


def write_dataset(directory: str, rows: int, files: int) -> None:
    marker = os.path.join(directory, f"_complete_{rows}_{files}")
    if os.path.exists(marker):
        return
    os.makedirs(directory, exist_ok=True)
    for name in os.listdir(directory):
        os.remove(os.path.join(directory, name))
    rng = np.random.default_rng(1)
    per_file = rows // files
    for k in range(files):
        n = per_file if k < files - 1 else rows - per_file * (files - 1)
        group = rng.integers(0, 8, n, dtype=np.int8)
        label = (rng.random(n) < 0.3 + 0.05 * (group == 3)).astype(np.int8)
        score = np.clip(label * 0.35 + rng.random(n, dtype=np.float32) * 0.65, 0, 1).astype(np.float32)
        table = pa.table({"group": group, "label": label, "score": score})
        pq.write_table(table, os.path.join(directory, f"part-{k:04d}.parquet"), row_group_size=1 << 20)
    open(marker, "w").close()


def peak_rss_mb() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0


CASES = {
    "data_bias rules": ("data_bias", lambda t: dict(facet="group", label="label",
                                                     facet_value=t.at_least(3.0), label_value=t.at_least(1.0))),
    "data_bias plain": ("data_bias", lambda t: dict(facet="group", label="label", facet_value=3)),
    "logistic": ("performance", lambda t: dict(label="label", prediction="score", task="logistic")),
}


def run_dask(directory: str, rows: int) -> dict[str, float]:
    import dask.dataframe as dd
    import distributed

    import tarvenn
    import tarvenn.dask as tdask

    out: dict[str, float] = {}
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40, memory_limit="4GiB") as cluster, distributed.Client(cluster) as client:
        ddf = dd.read_parquet(directory)
        tdask.performance(ddf.partitions[:2], label="label", prediction="score", task="logistic")  # warm the workers
        for name, (function, keywords) in CASES.items():
            start = time.perf_counter()
            result = getattr(tdask, function)(ddf, **keywords(tarvenn))
            seconds = time.perf_counter() - start
            assert result.rows_used == rows
            out[name] = seconds
            print(f"dask 2 workers  {name:16s} {seconds:7.2f} s  {rows / seconds / 1e6:7.1f} M rows/s", flush=True)
        peaks = client.run(peak_rss_mb)
        out["peak_mb"] = max(peaks.values())
        print(f"dask peak RSS per worker: {', '.join(f'{v:.0f} MB' for v in peaks.values())}; "
              f"{ddf.npartitions} partitions of {rows // ddf.npartitions:,} rows", flush=True)
    return out


def run_single_front(directory: str, rows: int) -> dict[str, float]:
    """One process: the whole table read (chunk by chunk, into one table), then the front."""
    import tarvenn

    out: dict[str, float] = {}
    for name, (function, keywords) in CASES.items():
        start = time.perf_counter()
        table = pq.read_table(directory)
        result = getattr(tarvenn, function)(table, **keywords(tarvenn))
        seconds = time.perf_counter() - start
        del table
        assert result.rows_used == rows
        out[name] = seconds
        print(f"front 1 process {name:16s} {seconds:7.2f} s  {rows / seconds / 1e6:7.1f} M rows/s", flush=True)
    out["peak_mb"] = peak_rss_mb()
    print(f"front peak RSS: {out['peak_mb']:.0f} MB", flush=True)
    return out


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=lambda s: int(s.replace("_", "")), default=100_000_000)
    parser.add_argument("--files", type=int, default=50)
    parser.add_argument("--dir", default="/tmp/tarvenn-scale")
    parser.add_argument("--skip-front", action="store_true")
    args = parser.parse_args()
    start = time.perf_counter()
    write_dataset(args.dir, args.rows, args.files)
    print(f"data set: {args.rows:,} rows in {args.files} Parquet files ({time.perf_counter() - start:.0f} s)", flush=True)
    dask_times = run_dask(args.dir, args.rows)
    if args.skip_front:
        return
    # The single process runs in a fresh child, so that its peak memory is its own.
    import multiprocessing

    with multiprocessing.get_context("spawn").Pool(1) as pool:
        front_times = pool.apply(run_single_front, (args.dir, args.rows))
    for name in CASES:
        print(f"{name:16s} dask/front speed ratio {front_times[name] / dask_times[name]:.2f}")
    print(f"peak memory: dask worker {dask_times['peak_mb']:.0f} MB, single process {front_times['peak_mb']:.0f} MB")


if __name__ == "__main__":
    main()

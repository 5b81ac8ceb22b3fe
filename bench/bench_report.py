"""`tarvenn report` on two large Parquet files against its floor: reading the files plus the
per-column `_tarvenn` drift calls, and its peak memory against that of the loaded data.

    python bench/bench_report.py [--rows 10000000] [--dir DIR] [--repeat 2]

Writes (or reuses) DIR/reference.parquet and DIR/current.parquet: ROWS rows x 10 columns (four
float, two integer, four text columns of 5 to 1,000 labels). Each measurement runs in its own
process, so start-up and imports count on both sides:

- floor: read both files with pyarrow, then per column build the module's batch detector on the
  reference and compute the four drift measures on the current data (text through its
  dictionary encoding, the cheapest way to hand pyarrow text to the module);
- report: `python -m tarvenn report REFERENCE CURRENT --json FILE` (every column, four measures,
  histograms, checks, JSON).

Peak resident memory comes from the kernel's accounting of each child process (wait4).
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

FLOOR = r"""
import sys, numpy as np, pyarrow as pa, pyarrow.compute as pc, pyarrow.parquet as pq, _tarvenn
M = ["JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler"]
ref, cur = pq.read_table(sys.argv[1]), pq.read_table(sys.argv[2])
if sys.argv[3] == "read":
    raise SystemExit(0)

def texts(col):
    enc = pc.dictionary_encode(col.combine_chunks())
    labels = np.empty(len(enc.dictionary), dtype=object)
    labels[:] = enc.dictionary.to_pylist()
    return labels[enc.indices.to_numpy(zero_copy_only=False)].tolist()

for name in ref.column_names:
    r, c = ref.column(name), cur.column(name)
    if pa.types.is_string(r.type) or pa.types.is_large_string(r.type):
        d = _tarvenn.PyCategoricalDataDrift(texts(r))
        d.compute_drift_mutliple_criteria(texts(c), M)
    else:
        d = _tarvenn.PyContinuousDataDrift(np.ascontiguousarray(r.to_numpy(), dtype=np.float64), "FreedmanDiaconis")
        d.compute_drift_mutliple_criteria(np.ascontiguousarray(c.to_numpy(), dtype=np.float64), M)
"""


def write_files(directory: str, rows: int) -> tuple[str, str]:
    import pyarrow as pa
    import pyarrow.parquet as pq

    paths = os.path.join(directory, "reference.parquet"), os.path.join(directory, "current.parquet")
    if all(os.path.exists(p) and pq.read_metadata(p).num_rows == rows for p in paths):
        return paths
    for seed, path in enumerate(paths):
        rng = np.random.default_rng(seed)
        shift = 0.3 * seed
        cols = {
            "f_normal": rng.normal(shift, 1.0, rows),
            "f_lognormal": rng.lognormal(10.0 + shift, 0.5, rows),
            "f_uniform": rng.uniform(0.0, 100.0 + 10 * shift, rows),
            "f_exponential": rng.exponential(2.0, rows),
            "i_age": rng.integers(18, 90, rows),
            "i_count": rng.poisson(3.0 + shift, rows),
        }
        for name, k in (("t_region", 5), ("t_device", 20), ("t_product", 200), ("t_city", 1000)):
            labels = np.array([f"{name[2:]}_{i}" for i in range(k)], dtype=object)
            p = rng.dirichlet(np.ones(k))
            idx = rng.choice(k, rows, p=p).astype(np.int32)
            cols[name] = pa.DictionaryArray.from_arrays(pa.array(idx), pa.array(labels.tolist())).cast(pa.string())
        pq.write_table(pa.table(cols), path)
    return paths


def run(cmd: list[str]) -> tuple[float, int]:
    """Wall seconds and peak resident kilobytes of one child process."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        raise SystemExit(f"{cmd[:4]} failed with {status}")
    return elapsed, usage.ru_maxrss


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--dir", default=os.path.join(tempfile.gettempdir(), "tarvenn-bench-report"))
    parser.add_argument("--repeat", type=int, default=2)
    args = parser.parse_args()
    os.makedirs(args.dir, exist_ok=True)
    ref, cur = write_files(args.dir, args.rows)
    out = os.path.join(args.dir, "report.json")
    py = sys.executable
    cases = {
        "read": [py, "-c", FLOOR, ref, cur, "read"],
        "read + calls": [py, "-c", FLOOR, ref, cur, "calls"],
        "tarvenn report": [py, "-m", "tarvenn", "report", ref, cur, "--json", out, "--quiet"],
    }
    results = {}
    for _ in range(args.repeat):
        for name, cmd in cases.items():
            t, rss = run(cmd)
            best = results.get(name, (float("inf"), 0))
            results[name] = (min(best[0], t), max(best[1], rss))
    import pyarrow.parquet as pq

    loaded = sum(pq.read_table(p).nbytes for p in (ref, cur))
    print(f"{args.rows:,} rows x 10 columns, two files; best of {args.repeat}")
    for name, (t, rss) in results.items():
        print(f"  {name:15s} {t:7.2f} s   peak RSS {rss / 1024:8.0f} MiB")
    floor_t, floor_rss = results["read + calls"]
    rep_t, rep_rss = results["tarvenn report"]
    read_rss = results["read"][1]
    print(f"  report / (read + calls) time: {rep_t / floor_t:.2f}x")
    print(f"  report peak RSS / peak RSS of reading the files: {rep_rss / read_rss:.2f}x")
    print(f"  report peak RSS / loaded tables ({loaded / 2**20:.0f} MiB of Arrow data): {rep_rss * 1024 / loaded:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())

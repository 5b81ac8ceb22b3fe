"""Helpers shared by the benchmark scripts."""
import time


def best_of(fn, repeat=5):
    """The shortest of `repeat` timed runs of fn(), in seconds."""
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)

"""A tour of tarvenn on a small synthetic loan-approval data set.

Run it after `pip install .`: it builds its own data, so nothing is downloaded.
"""
import numpy as np

import _tarvenn as tv


def show(title, mapping):
    print(f"\n{title}")
    for key, value in mapping.items():
        print(f"  {key:<47} {value}")


def main():
    rng = np.random.default_rng(7)
    n = 100_000
    # Applicants' ages (continuous) and whether their loan was approved; older
    # applicants are approved a little more often.
    age = rng.uniform(18, 80, n)
    approved = (rng.uniform(0, 1, n) < 0.45 + 0.002 * (age - 18)).astype(np.int64)

    # Pre-training bias of the facet "age >= 60" against the rest, approved == 1.
    baseline = tv.py_data_bias_analyzer(age, approved, 60.0, 1)
    show("Data bias of applicants aged 60 and over (baseline):", baseline)

    # A later batch in which the facet is approved far more often.
    later_age = rng.uniform(18, 80, n)
    later_approved = (rng.uniform(0, 1, n) < np.where(later_age >= 60, 0.9, 0.45)).astype(np.int64)
    latest = tv.py_data_bias_analyzer(later_age, later_approved, 60.0, 1)
    report = tv.py_data_bias_runtime_check(baseline, latest, threshold=0.10)
    print("\nRuntime check of the later batch against the baseline:")
    print(f"  passed: {report['passed']}")
    for entry in report.get("failed_report", []):
        print(f"  {entry['metric']:<34} drifted by {entry['drift']:.4f}")

    # Streaming: a monitor fixed on 0/1 facet and outcome flags, fed one sample at a time.
    facet = (age >= 60).astype(np.int8)
    monitor = tv.PyDataBiasStreaming(facet, approved.astype(np.int8))
    later_facet = (later_age >= 60).astype(np.int8)
    for f, g in zip(later_facet[:5_000], later_approved[:5_000]):
        monitor.push(int(f), int(g))
    monitor.push_batch(later_facet[5_000:], later_approved[5_000:].astype(np.int8))
    show("Streaming monitor, relative change of each metric:", monitor.drift_snapshot())
    print(f"\nStreaming drift report at 0.5: {monitor.drift_report(0.5)}")

    # A model scores the later applicants; how does it treat the facet, and how well does it do?
    scores = np.clip(0.5 * later_approved + rng.uniform(0, 0.6, n) - 0.05 * (later_age >= 60), 0, 1)
    predicted = (scores >= 0.5).astype(np.int64)
    show("Model bias of the predictions:", tv.py_model_bias_analyzer(later_age, later_approved, predicted, 60.0, 1, 1))
    show("Model performance at the decision threshold 0.5:",
         tv.py_model_perf_logistic_regression(later_approved.astype(np.float64), scores, 0.5))

    # Data drift: the age distribution of a new intake that skews younger.
    detector = tv.PyContinuousDataDrift(age, "FreedmanDiaconis")
    younger = rng.uniform(18, 60, n)
    print(f"\nAge drift ({detector.num_bins} bins), same population: "
          f"{detector.compute_drift(later_age, 'JensenShannon'):.5f}; younger intake: "
          f"{detector.compute_drift(younger, 'JensenShannon'):.5f} (Jensen-Shannon, bits)")


if __name__ == "__main__":
    main()

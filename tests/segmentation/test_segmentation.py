"""Segmentation seen through the data bias analysis: which rows form the facet.

With the ground truth equal to the facet labels we expect, ClassImbalance and
DifferenceInProportionOfLabels reveal the facet the analysis found."""
import numpy as np
import pytest

import _tarvenn as t


def facet_of(feature, label):
    """Recovers the facet labels the analyzer assigns to `feature` for `label`,
    by probing each row's membership with a one-hot ground truth."""
    feature = np.asarray(feature) if not isinstance(feature, np.ndarray) else feature
    n = len(feature)
    result = []
    for row in range(n):
        truth = np.zeros(n, dtype=np.int64)
        truth[row] = 1
        metrics = t.py_data_bias_analyzer(feature, truth, label, 1)
        # The facet's positive share is > 0 exactly when the probed row is in the facet.
        result.append(1 if metrics["DifferenceInProportionOfLabels"] > 0 else 0)
    return result


class TestApplyLabel:
    def test_integer_continuous_and_discrete(self):
        assert facet_of(np.array([1, 2, 3, 4, 5]), 3) == [0, 0, 1, 1, 1]
        assert facet_of(np.array([0, 1, 1, 0, 2]), 1) == [0, 1, 1, 0, 0]

    def test_float_discrete_with_few_values(self):
        feature = np.tile([1.0, 2.0, 3.0, 4.0], 25)  # D = 4, D / N = 0.04
        truth = (feature == 3.0).astype(np.int64)
        metrics = t.py_data_bias_analyzer(feature, truth, 3.0, 1)
        assert metrics["DifferenceInProportionOfLabels"] == 1.0

    def test_float_column_with_int_label(self):
        assert facet_of(np.array([0.5, 1.5, 2.5, 3.5, 2.0]), 2) == [0, 0, 1, 1, 1]
        with pytest.raises(TypeError, match="^Data passed in is of hetergeneous types$"):
            t.py_data_bias_analyzer(np.array([1.0, 2.0]), np.array([1, 0]), "2", 1)
        with pytest.raises(TypeError, match="hetergeneous"):
            t.py_data_bias_analyzer(np.array([1.0, 2.0]), np.array([1, 0]), np.float32(2), 1)

    def test_integer_column_with_float_label_compares_exactly(self):
        # 2.7 is a lower bound of 3 and above, not 2 and above.
        assert facet_of(np.array([1, 2, 3, 4, 5]), 2.7) == [0, 0, 1, 1, 1]
        assert facet_of(np.array([1, 2, 3, 4, 5]), 3.0) == [0, 0, 1, 1, 1]
        # Discrete: a non-integral float matches nothing, NaN matches nothing.
        with pytest.raises(ValueError, match="No deviation"):
            t.py_data_bias_analyzer(np.array([0, 2, 2, 0]), np.array([1, 0, 1, 0]), 2.5, 1)
        with pytest.raises(ValueError, match="No deviation"):
            t.py_data_bias_analyzer(np.array([0, 0, 1, 0]), np.array([1, 0, 1, 0]), float("nan"), 1)
        assert facet_of(np.array([0, 2, 2, 0]), 2.0) == [0, 1, 1, 0]

    def test_integers_beyond_double_precision(self):
        big = 2**62 + 1
        column = np.array([big - 1, big, big + 1, 0, 5], dtype=np.int64)
        # float(big) rounds to 2**62; the exact comparison keeps big - 1 out.
        assert facet_of(column, float(2**62)) == [1, 1, 1, 0, 0]
        assert facet_of(column, big) == [0, 1, 1, 0, 0]
        with pytest.raises(ValueError, match="No deviation"):
            t.py_data_bias_analyzer(column, np.array([1, 0, 1, 0, 1]), 1e30, 1)

    def test_boolean_column(self):
        column = np.array([True, False, True, False])
        assert facet_of(column, True) == [1, 0, 1, 0]
        assert facet_of(column, 1) == [1, 0, 1, 0]
        assert facet_of(column, 0) == [0, 1, 0, 1]
        assert facet_of(column, 2) == [0, 1, 0, 1]
        for bad in (1.0, "True", np.True_):
            with pytest.raises(TypeError, match="hetergeneous"):
                t.py_data_bias_analyzer(column, np.array([1, 0, 1, 0]), bad, 1)

    def test_text_column(self):
        assert facet_of(np.array(["a", "A", "a ", "a"]), "a") == [1, 0, 0, 1]
        assert facet_of(np.array(["x", "\udcff", "x"], dtype=object), "x") == [1, 0, 1]
        with pytest.raises(TypeError, match="hetergeneous"):
            t.py_data_bias_analyzer(np.array(["a", "b"]), np.array([1, 0]), 1, 1)
        # Items are read before the label is checked.
        with pytest.raises(TypeError, match="string"):
            t.py_data_bias_analyzer(np.array(["a", None], dtype=object), np.array([1, 0]), 1, 1)

    def test_other_dtypes_go_the_text_way(self):
        for column in (np.array([1, 2], dtype=">i8"), np.array([1, 2], dtype=np.float16)):
            with pytest.raises(TypeError, match="string"):
                t.py_data_bias_analyzer(column, np.array([1, 0]), 1, 1)

    def test_strided_and_unaligned_columns(self):
        base = np.array([5, 0, 1, 0, 2, 0, 3, 0, 4, 0], dtype=np.int64)
        assert facet_of(base[::2], 3) == [1, 0, 0, 1, 1]  # 5, 1, 2, 3, 4
        raw = b"\0" + np.array([1.0, 2.0, 3.0, 4.0, 5.0]).tobytes()
        values = np.frombuffer(raw, dtype=np.float64, offset=1)
        assert not values.flags.aligned
        assert facet_of(values, 3.0) == [0, 0, 1, 1, 1]

    def test_bad_items_and_shapes(self):
        with pytest.raises(OverflowError):
            t.py_data_bias_analyzer(np.array([1, 2**63], dtype=np.uint64), np.array([1, 0]), 1, 1)
        with pytest.raises(OverflowError):
            t.py_data_bias_analyzer(np.array([1, 0]), np.array([1, 0]), 2**64, 1)
        for column in (np.array(1.0), np.ones((2, 2))):
            with pytest.raises(TypeError, match="one-dimensional"):
                t.py_data_bias_analyzer(column, np.array([1, 0]), 1.0, 1)

    def test_heuristic_counts_nan_and_signed_zero_as_distinct(self):
        # D = 4 (0.0, -0.0, NaN, NaN) over N = 4: continuous, so 0.0 >= 0.0 and -0.0 >= 0.0.
        column = np.array([0.0, -0.0, np.nan, np.nan])
        assert facet_of(column, 0.0) == [1, 1, 0, 0]
        # D = 3 with one NaN: discrete, equality with 0.0 (also -0.0 == 0.0).
        assert facet_of(np.array([0.0, -0.0, np.nan, 1.0, 1.0]), 1.0) == [0, 0, 0, 1, 1]


class TestExplicitSegmentation:
    def run(self, feature, threshold, label, kind):
        truth = np.array([1, 0, 1])
        return t.py_data_bias_analyzer_explicit_seg(feature, threshold, label, kind, truth, 0.5, None, "GreaterThan")

    def test_threshold_types(self):
        feature = np.array([0.2, 0.5, 0.9])
        truth = np.array([0, 0, 1])
        gt = dict(gt_segmentation_threshold=0.5, gt_segmentation_label=None, gt_threshold_type="GreaterThan")
        base = dict(feature_array=feature, feat_segmentation_label=None, ground_truth_array=truth, **gt)
        gt_result = t.py_data_bias_analyzer_explicit_seg(feat_segmentation_threshold=0.5, feat_threshold_type="GreaterThan", **base)
        assert gt_result["DifferenceInProportionOfLabels"] == 1.0
        le_result = t.py_data_bias_analyzer_explicit_seg(feat_segmentation_threshold=0.5, feat_threshold_type="LessThanEqualTo", **base)
        assert le_result["DifferenceInProportionOfLabels"] == -1.0

    def test_text_label(self):
        feature = np.array(["x", "y", "x"], dtype=object)
        result = t.py_data_bias_analyzer_explicit_seg(feature, None, "x", None, np.array(["p", "n", "p"]), None, "p", None)
        assert result["DifferenceInProportionOfLabels"] == 1.0

    @pytest.mark.parametrize("threshold,label,kind,feature", [
        (0.5, None, "greaterthan", np.array([0.2, 0.5, 0.9])),
        (0.5, "a", "GreaterThan", np.array([0.2, 0.5, 0.9])),
        (None, None, None, np.array([0.2, 0.5, 0.9])),
        (0.5, None, None, np.array([0.2, 0.5, 0.9])),
        (None, "a", "GreaterThan", np.array(["a", "b", "a"])),
        (None, "a", None, np.array([1.0, 2.0, 3.0])),
        (0.5, None, "GreaterThan", np.array(["a", "b", "c"])),
        (0.5, None, "GreaterThan", np.ones((3, 1))),
    ])
    def test_configuration_errors(self, threshold, label, kind, feature):
        with pytest.raises(ValueError, match="^Invalid bias configuration$"):
            self.run(feature, threshold, label, kind)

    def test_argument_types(self):
        with pytest.raises(TypeError, match="^argument 'feat_segmentation_label': "):
            self.run(np.array([1.0]), None, 3, None)
        with pytest.raises(TypeError, match="^argument 'feat_segmentation_threshold': "):
            self.run(np.array([1.0]), "0.5", None, "GreaterThan")

    def test_float_items_through_the_protocol(self):
        feature = np.array([0.2, 0.5, 0.9], dtype=np.float16)
        assert self.run(feature, 0.5, None, "GreaterThan")["DifferenceInProportionOfLabels"] == 0.5


class TestDistinctCountPaths:
    """The mode decision takes different counting paths by column shape; each must
    agree with NumPy's exact distinct count."""

    @pytest.mark.parametrize("distinct", [3, 4, 70_000, 99_000, 101_000, 150_000])
    def test_float_columns_around_the_threshold(self, distinct):
        # 2,000,000 rows: continuous exactly when more than 100,000 distinct values.
        rng = np.random.default_rng(distinct)
        column = rng.permutation(np.resize(np.arange(distinct, dtype=np.float64) + 0.5, 2_000_000))
        truth = (column >= distinct / 2).astype(np.int64)
        threshold = float(np.float64(distinct // 2) + 0.5)
        metrics = t.py_data_bias_analyzer(column, truth, threshold, 1)
        continuous = distinct >= 4 and np.float32(distinct) / np.float32(column.size) > np.float32(0.05)
        # Continuous: the facet is exactly the rows at or above the threshold, all positive.
        assert (metrics["DifferenceInProportionOfLabels"] == 1.0) == continuous

    def test_wide_integer_column(self):
        column = np.arange(0, 2**40, 2**40 // 1000, dtype=np.int64)[:1000]
        truth = (column >= column[500]).astype(np.int64)
        assert t.py_data_bias_analyzer(column, truth, int(column[500]), 1)["DifferenceInProportionOfLabels"] == 1.0


class TestModeDecidedWhenItMatters:
    """An integer column labelled by an integer is labelled by equality until a value
    above the label turns up; only then is its mode decided, and the rest of the
    column follows the decided rule. The facet must be the one the mode gives."""

    @staticmethod
    def is_continuous(column):
        distinct = len(np.unique(column))
        return distinct >= 4 and np.float32(distinct) / np.float32(column.size) > np.float32(0.05)

    @pytest.mark.parametrize("case", ["never_above", "continuous_late", "discrete_late", "above_first",
                                      "above_in_last_chunk"])
    @pytest.mark.parametrize("dtype", [np.int64, np.int8, np.uint32])
    def test_facet_follows_the_mode(self, case, dtype):
        rng = np.random.default_rng(len(case))
        n = 20_000
        label = 1
        if case == "never_above":
            column = rng.integers(-100, 2, n)
        elif case == "continuous_late":  # many distinct values, all past row 9000 above the label
            if dtype == np.int8:
                pytest.skip("an 8-bit column cannot hold enough distinct values")
            column = np.concatenate([rng.integers(-3, 2, 9000), rng.integers(2, 5000, n - 9000)])
        elif case == "discrete_late":  # four values, 2 and 3 only late
            column = np.concatenate([rng.integers(0, 2, 9000), rng.integers(0, 4, n - 9000)])
        elif case == "above_first":
            column = rng.integers(0, 120 if dtype == np.int8 else 5000, n)
            column[0] = 119
        else:
            column = np.concatenate([rng.integers(0, 2, n - 10), rng.integers(0, 120, 10)])
        if np.iinfo(dtype).min == 0:
            column = np.abs(column)
        column = column.astype(dtype)
        continuous = self.is_continuous(column)
        assert continuous == (case == "continuous_late" or (case == "above_first" and dtype != np.int8))
        facet = column >= label if continuous else column == label
        # A ground truth equal to the expected facet: the analysis finds it exactly
        # when every facet row is positive and no other row is.
        metrics = t.py_data_bias_analyzer(column, facet.astype(np.int64), label, 1)
        assert metrics["DifferenceInProportionOfLabels"] == 1.0, case

"""One line on what each metric and drift measure tells, for the page and the terminal."""

from __future__ import annotations

__all__ = ["EXPLAIN", "FAMILY_TITLES"]

FAMILY_TITLES = {
    "data_bias": "Data bias (before training)",
    "model_bias": "Model bias (after training)",
    "classification": "Performance: classification",
    "logistic": "Performance: scored classification",
    "regression": "Performance: regression",
    "drift": "Data drift",
}

EXPLAIN = {
    # data bias
    "ClassImbalance": "Size gap between facet and rest: |facet - rest| / all rows.",
    "DifferenceInProportionOfLabels": "Share of positive labels in the facet minus that in the rest.",
    "KlDivergence": "Kullback-Leibler divergence of the facet's label distribution from the rest's.",
    "JsDivergence": "Jensen-Shannon divergence between the label distributions of facet and rest.",
    "LpNorm": "Euclidean (L2) distance between the label distributions of facet and rest.",
    "TotalVariationDistance": "Half the L1 distance between the label distributions of facet and rest.",
    "KolmogorovSmirnov": "Largest gap between the label shares of facet and rest.",
    # model bias
    "DifferenceInPositivePredictedLabels": "Share predicted positive in the facet minus that in the rest.",
    "DisparateImpact": "Facet's share predicted positive divided by the rest's (1 is parity).",
    "AccuracyDifference": "Accuracy on the facet minus accuracy on the rest.",
    "RecallDifference": "Recall on the facet minus recall on the rest.",
    "DifferenceInConditionalAcceptance": "Predicted positives per observed positive, facet minus rest.",
    "DifferenceInAcceptanceRate": "Precision on the facet minus precision on the rest.",
    "SpecialityDifference": "True negative rate on the facet minus that on the rest.",
    "DifferenceInConditionalRejection": "Observed negatives per predicted negative, rest minus facet.",
    "DifferenceInRejectionRate": "Negative predictive value, rest minus facet.",
    "TreatmentEquity": "False negatives per false positive, rest minus facet.",
    "ConditionalDemographicDesparityPredictedLabels": "Facet's share of predicted negatives minus its share of predicted positives.",
    "GeneralizedEntropy": "Inequality of the benefit (prediction - truth + 1) across rows, alpha = 2.",
    # performance
    "BalancedAccuracy": "Mean of the recall on positives and on negatives.",
    "PrecisionPositive": "Share of predicted positives that are positive.",
    "PrecisionNegative": "Share of predicted negatives that are negative.",
    "RecallPositive": "Share of positives predicted positive.",
    "RecallNegative": "Share of negatives predicted negative.",
    "Accuracy": "Share of rows predicted right.",
    "F1Score": "Harmonic mean of the precision and the recall on positives.",
    "LogLoss": "Mean negative log-likelihood of the scores (lower is better).",
    "RootMeanSquaredError": "Square root of the mean squared error.",
    "MeanSquaredError": "Mean of the squared errors.",
    "MeanAbsoluteError": "Mean of the absolute errors.",
    "RSquared": "Share of the label's variance that the predictions explain.",
    "MaxError": "Largest absolute error.",
    "MeanSquaredLogError": "Mean squared error of log(1 + value).",
    "RootMeanSquaredLogError": "Square root of the mean squared log error.",
    "MeanAbsolutePercentageError": "Mean of the absolute errors relative to the labels.",
    # drift measures
    "JensenShannon": "Jensen-Shannon divergence between the reference's and the current bins.",
    "PopulationStabilityIndex": "Population stability index over the reference's bins (0.1 notable, 0.2 large).",
    "WassersteinDistance": "Earth mover's distance between the bin distributions.",
    "KullbackLeibler": "Kullback-Leibler divergence of the current bins from the reference's.",
}

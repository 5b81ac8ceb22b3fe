// The six error enumerations of the computing code and their display texts.
// Computing code returns these as values (std::expected); only the bindings turn
// them into Python exceptions (python/exceptions.hpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvenn {

enum class BiasError : std::uint8_t {
    NoFacetDeviation,
    NoSegmentationParameters,
    AmbiguousSegmentationParameters,
    DataLengthError,
    BiasConfigError,
};
std::string_view display(BiasError e);
std::string_view variant_name(BiasError e);

enum class DriftError : std::uint8_t {
    EmptyRuntimeData,
    TimestampConversion,
    MalformedRuntimeBins,
    EmptyBaselineData,
    NaNValues,
    UnsupportedDriftType,
    UnsupportedOperation,
    UnsupportedConfiguration,
};
std::string_view display(DriftError e);

// A metric-name list with names that are not metrics of the family; carries every
// rejected name in the caller's order, duplicates included.
struct InvalidMetricError {
    std::vector<std::string> names;
};
std::string display(const InvalidMetricError& e);

// One variant per data bias metric: "<metric> not present". The variants list the
// metrics in an order of their own; core/metric_errors.hpp pairs them.
enum class DataBiasRuntimeError : std::uint8_t {
    ClassImbalance,
    DifferenceInProportionOfLabels,
    KlDivergence,
    JsDivergence,
    TotalVariationDistance,
    KolmogorovSmirnov,
    LpNorm,
};

enum class ModelBiasRuntimeError : std::uint8_t {
    DifferenceInPositivePredictedLabels,
    DisparateImpact,
    AccuracyDifference,
    RecallDifference,
    DifferenceInConditionalAcceptance,
    DifferenceInAcceptanceRate,
    SpecialityDifference,
    DifferenceInConditionalRejection,
    TreatmentEquity,
    ConditionalDemographicDesparityPredictedLabels,
    DifferenceInRejectionRate,
    GeneralizedEntropy,
};

struct ModelPerformanceError {
    enum class Kind : std::uint8_t {
        InvalidData,
        EmptyDataVector,
        DataVectorLengthMismatch,
        InvalidAnalysisReport,
        Bias,  // carries `bias`
        DataVectorTypeMismatch,
        UnsupportedTypeError,
    };
    Kind kind;
    BiasError bias = BiasError::NoFacetDeviation;

    static ModelPerformanceError of(Kind k) { return {k, BiasError::NoFacetDeviation}; }
    static ModelPerformanceError of(BiasError b) { return {Kind::Bias, b}; }
    friend bool operator==(const ModelPerformanceError&, const ModelPerformanceError&) = default;
};
std::string display(const ModelPerformanceError& e);

}  // namespace tarvenn

#include "core/metrics.hpp"

#include "core/settings.hpp"

namespace tarvenn {

double stability_eps() {
    // A function-local static is initialised exactly once, even under concurrent first use.
    static const double STABILITIY_EPS = env_setting_f64("TARVENN_STABILITY_EPS", 1e-12);
    return STABILITIY_EPS;
}

std::expected<std::vector<ClassificationEvaluationMetric>, InvalidMetricError>
parse_classification_metric_list(const std::vector<std::string>& texts) {
    using Metric = ClassificationEvaluationMetric;
    const auto kind = InvalidMetricError::Kind::ClassificationMetrics;
    std::vector<Metric> metrics;
    metrics.reserve(texts.size());
    InvalidMetricError rejected{kind, {}};
    for (const auto& text : texts) {
        const auto m = parse_metric<Metric>(text);
        if (!m) {
            rejected.names.push_back(text);
        } else if (*m == Metric::LogLoss) {
            return std::unexpected(InvalidMetricError{kind, {text}});
        } else {
            metrics.push_back(*m);
        }
    }
    if (!rejected.names.empty()) return std::unexpected(std::move(rejected));
    return metrics;
}

}  // namespace tarvenn

#include "core/metrics.hpp"

namespace tarvenn {

std::expected<std::vector<ClassificationEvaluationMetric>, InvalidMetricError>
parse_classification_metric_list(const std::vector<std::string>& texts) {
    using Metric = ClassificationEvaluationMetric;
    std::vector<Metric> metrics;
    metrics.reserve(texts.size());
    InvalidMetricError rejected;
    for (const auto& text : texts) {
        const auto m = parse_metric<Metric>(text);
        if (!m) {
            rejected.names.push_back(text);
        } else if (*m == Metric::LogLoss) {
            return std::unexpected(InvalidMetricError{{text}});
        } else {
            metrics.push_back(*m);
        }
    }
    if (!rejected.names.empty()) return std::unexpected(std::move(rejected));
    return metrics;
}

}  // namespace tarvenn

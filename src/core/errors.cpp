#include "core/errors.hpp"

#include <array>
#include <cstdio>

namespace tarvenn {

namespace {

// Each BiasError variant's name and display text, in variant order.
struct BiasErrorRow {
    std::string_view name;
    std::string_view text;
};
constexpr std::array<BiasErrorRow, 5> kBiasErrors{{
    {"NoFacetDeviation", "No deviation in behavior between facets"},
    {"NoSegmentationParameters", "No segmentation parameters provided"},
    {"AmbiguousSegmentationParameters", "Ambiguous segmentation parameters"},
    {"DataLengthError", "All data arrays must have equal length and be at least lenght 1"},
    {"BiasConfigError", "Invalid bias configuration"},
}};

}  // namespace

std::string_view display(BiasError e) { return kBiasErrors[static_cast<std::size_t>(e)].text; }
std::string_view variant_name(BiasError e) { return kBiasErrors[static_cast<std::size_t>(e)].name; }

std::string_view display(DriftError e) {
    static constexpr std::array<std::string_view, 8> texts{
        "Data used for runtime drift analysis must be non empty",
        "Unable to convert internal timestamp into DateTime object",
        "Internal runtime bins are malformed",
        "Baseline data must be non empty",
        "NaN values are not supported",
        "Unsupported drift type",
        "Operation not supported in current drift mode",
        "Configuration not supported in current drift mode",
    };
    return texts[static_cast<std::size_t>(e)];
}

namespace {

// Writes a name as a double-quoted literal: quote and backslash escaped, control
// characters as \n, \t, \r or \u{hex}.
void append_quoted(std::string& out, std::string_view name) {
    out += '"';
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "\\u{%x}", u);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

std::string display(const InvalidMetricError& e) {
    std::string out = "Metrics: [";
    for (std::size_t i = 0; i < e.names.size(); ++i) {
        if (i) out += ", ";
        append_quoted(out, e.names[i]);
    }
    out += "] are not supported";
    return out;
}

std::string display(const ModelPerformanceError& e) {
    static constexpr std::array<std::string_view, 7> texts{
        "Metric cannot be computed with given data",
        "Empty data vectors",
        "Data vectors must be equal length",
        "Invalid analysis report",
        "Bias Error: ",  // followed by the BiasError variant's name
        "Data Vector type mistmatch",
        "UnSupportedType",
    };
    std::string text(texts[static_cast<std::size_t>(e.kind)]);
    if (e.kind == ModelPerformanceError::Kind::Bias) text += variant_name(e.bias);
    return text;
}

}  // namespace tarvenn

// Process settings read from the environment: the whole text must be a decimal
// number (optional sign, digits with an optional fraction, optional exponent) or
// inf / infinity / nan in any letter case. Anything else, an unset variable or a
// value that is not valid UTF-8 gives the default. No range check is made.
#pragma once

#include <optional>
#include <string_view>

namespace tarvenn {

std::optional<double> parse_setting_f64(std::string_view text);
std::optional<float> parse_setting_f32(std::string_view text);

double env_setting_f64(const char* variable, double fallback);
float env_setting_f32(const char* variable, float fallback);

// The process settings, each read once on first use (a function-local static is
// initialised exactly once, even under concurrent first use).
// The stability epsilon, from TARVENN_STABILITY_EPS (default 1e-12).
double stability_eps();
// DISTRIBUTION_TYPE_HEURISTIC, from TARVENN_DISTRIBUTION_HEURISTIC (default 0.05):
// the distinct-value share above which a numeric column counts as continuous.
float distribution_type_heuristic();
// TARVENN_FORCE_BASELINE_ISA=1 makes the kernels that have wider variants run their
// baseline code on any CPU, so that one machine can test every path.
bool force_baseline_isa();

}  // namespace tarvenn

#include "core/settings.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace tarvenn {
namespace {

bool is_valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len;
        char32_t cp;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == y;
           });
}

// Checks the decimal grammar: digits with an optional fraction ("5." and ".5"
// included) and an optional exponent, after the sign has been removed.
bool is_decimal(std::string_view s) {
    std::size_t i = 0, digits = 0;
    auto is_digit = [&](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
    while (is_digit(i)) { ++i; ++digits; }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (is_digit(i)) { ++i; ++digits; }
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!is_digit(i)) return false;
        while (is_digit(i)) ++i;
    }
    return i == s.size();
}

template <class T>
std::optional<T> parse_setting(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    T value;
    if (iequals(text, "inf") || iequals(text, "infinity")) {
        value = std::numeric_limits<T>::infinity();
    } else if (iequals(text, "nan")) {
        value = std::numeric_limits<T>::quiet_NaN();
    } else if (is_decimal(text)) {
        // from_chars rounds the decimal text correctly to T in one step.
        const auto* first = text.data();
        const auto* last = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(first, last, value);
        if (ec == std::errc::result_out_of_range) {
            // Overflow or underflow: take the strto* result, which is ±inf or a
            // correctly rounded subnormal/zero.
            std::string copy(text);
            value = std::is_same_v<T, float> ? static_cast<T>(std::strtof(copy.c_str(), nullptr))
                                              : static_cast<T>(std::strtod(copy.c_str(), nullptr));
        } else if (ec != std::errc{} || ptr != last) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    return negative ? -value : value;
}

template <class T>
T env_setting(const char* variable, T fallback) {
    const char* raw = std::getenv(variable);
    if (raw == nullptr) return fallback;
    std::string_view text(raw);
    if (!is_valid_utf8(text)) return fallback;
    return parse_setting<T>(text).value_or(fallback);
}

}  // namespace

std::optional<double> parse_setting_f64(std::string_view text) { return parse_setting<double>(text); }
std::optional<float> parse_setting_f32(std::string_view text) { return parse_setting<float>(text); }

double env_setting_f64(const char* variable, double fallback) { return env_setting(variable, fallback); }
float env_setting_f32(const char* variable, float fallback) { return env_setting(variable, fallback); }

double stability_eps() {
    static const double STABILITIY_EPS = env_setting_f64("TARVENN_STABILITY_EPS", 1e-12);
    return STABILITIY_EPS;
}

float distribution_type_heuristic() {
    static const float DISTRIBUTION_TYPE_HEURISTIC = env_setting_f32("TARVENN_DISTRIBUTION_HEURISTIC", 0.05f);
    return DISTRIBUTION_TYPE_HEURISTIC;
}

bool force_baseline_isa() {
    static const bool FORCE_BASELINE_ISA = env_setting_f64("TARVENN_FORCE_BASELINE_ISA", 0.0) == 1.0;
    return FORCE_BASELINE_ISA;
}

}  // namespace tarvenn

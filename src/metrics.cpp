#include "metrics.hpp"

#include "settings.hpp"

namespace tarvenn {

double stability_eps() {
    // A function-local static is initialised exactly once, even under concurrent first use.
    static const double STABILITIY_EPS = env_setting_f64("TARVENN_STABILITY_EPS", 1e-12);
    return STABILITIY_EPS;
}

}  // namespace tarvenn

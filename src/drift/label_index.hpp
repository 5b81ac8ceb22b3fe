// The label -> bin index map of a categorical baseline: an open-addressing hash
// table over the labels, which are kept in ascending byte order (label i has index
// i). Lookups take a string_view, so runtime labels are never copied.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tarvenn::drift {

// A hash of the label's bytes, mixed with a per-process random seed.
std::uint64_t process_hash_seed();

inline std::uint64_t hash_label(std::string_view label, std::uint64_t seed) {
    constexpr std::uint64_t k1 = 0x9E3779B97F4A7C15ull, k2 = 0xBF58476D1CE4E5B9ull;
    auto mix = [](std::uint64_t a, std::uint64_t b) {
        const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
        return static_cast<std::uint64_t>(r) ^ static_cast<std::uint64_t>(r >> 64);
    };
    std::uint64_t h = seed ^ (label.size() * k1);
    const char* p = label.data();
    std::size_t n = label.size();
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p, 8);
        h = mix(h ^ chunk, k2);
    }
    if (n > 0) {
        std::uint64_t tail = 0;
        std::memcpy(&tail, p, n);
        h = mix(h ^ tail, k1);
    }
    return mix(h, k2);
}

class LabelIndex {
public:
    LabelIndex();
    // `sorted_labels` must be ascending and distinct; label i gets index i.
    void assign(std::vector<std::string> sorted_labels);

    std::size_t size() const { return labels_.size(); }
    const std::string& label(std::size_t i) const { return labels_[i]; }

    // The label's index, or size() when the label is absent.
    std::uint32_t find(std::string_view label) const {
        const std::uint64_t h = hash_label(label, seed_);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.index_plus_one == 0) return static_cast<std::uint32_t>(labels_.size());
            if (s.hash == h && labels_[s.index_plus_one - 1] == label) return s.index_plus_one - 1;
        }
    }

private:
    struct Slot {
        std::uint64_t hash;
        std::uint32_t index_plus_one;  // 0: empty slot
    };
    std::vector<std::string> labels_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::uint64_t seed_;
};

}  // namespace tarvenn::drift

// The label -> bin index map of a categorical baseline: an open-addressing hash
// table over the labels, which are kept in ascending byte order (label i has index
// i) and packed into one block, so that building, copying and saving an index of
// many labels is a few large copies. Lookups take a string_view, so runtime labels
// are never copied.
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
        // The last 1 to 7 bytes, read without a byte loop (whose stores would stall the
        // wide load that follows): two overlapping 4-byte words cover 4 to 7 bytes, and
        // the first, middle and last byte cover 1 to 3. The length, mixed in above,
        // keeps these readings apart.
        std::uint64_t tail;
        if (n >= 4) {
            std::uint32_t first, last;
            std::memcpy(&first, p, 4);
            std::memcpy(&last, p + n - 4, 4);
            tail = (static_cast<std::uint64_t>(first) << 32) | last;
        } else {
            tail = (static_cast<std::uint64_t>(static_cast<unsigned char>(p[0])) << 16) |
                   (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n >> 1])) << 8) |
                   static_cast<unsigned char>(p[n - 1]);
        }
        h = mix(h ^ tail, k1);
    }
    return mix(h, k2);
}

class LabelIndex {
public:
    LabelIndex();
    // The labels packed: all their bytes in `text`, label i ending at `ends[i]`. They
    // must be ascending and distinct; label i gets index i.
    void assign(std::string text, std::vector<std::uint64_t> ends);

    std::size_t size() const { return ends_.size(); }
    std::string_view label(std::size_t i) const {
        const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
        return {text_.data() + begin, ends_[i] - begin};
    }
    // The bytes of every label, back to back (what a saved state writes).
    std::string_view text() const { return text_; }
    bool same_labels(const LabelIndex& other) const { return ends_ == other.ends_ && text_ == other.text_; }

    // The label's index, or size() when the label is absent.
    std::uint32_t find(std::string_view label) const {
        const std::uint64_t h = hash_label(label, seed_);
        const std::uint32_t tag = static_cast<std::uint32_t>(h >> 32);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot& s = slots_[i];
            if (s.index_plus_one == 0) return static_cast<std::uint32_t>(ends_.size());
            if (s.tag == tag && this->label(s.index_plus_one - 1) == label) return s.index_plus_one - 1;
        }
    }

private:
    // Eight bytes a slot: the high half of the label's hash (the low bits pick the
    // slot) and the label's index plus one.
    struct Slot {
        std::uint32_t tag;
        std::uint32_t index_plus_one;  // 0: empty slot
    };
    std::string text_;
    std::vector<std::uint64_t> ends_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::uint64_t seed_;
};

// Packs labels that are already ascending and distinct into LabelIndex::assign's form.
class LabelPacker {
public:
    void reserve(std::size_t labels, std::size_t bytes) {
        ends_.reserve(labels);
        text_.reserve(bytes);
    }
    void add(std::string_view label) {
        text_.append(label);
        ends_.push_back(text_.size());
    }
    void into(LabelIndex& index) && { index.assign(std::move(text_), std::move(ends_)); }

private:
    std::string text_;
    std::vector<std::uint64_t> ends_;
};

}  // namespace tarvenn::drift

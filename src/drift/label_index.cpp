#include "drift/label_index.hpp"

#include <algorithm>
#include <bit>
#include <random>

namespace tarvenn::drift {

std::uint64_t process_hash_seed() {
    static const std::uint64_t seed = [] {
        std::random_device source;
        return (static_cast<std::uint64_t>(source()) << 32) ^ source();
    }();
    return seed;
}

LabelIndex::LabelIndex() : slots_(2, Slot{0, 0}), mask_(1), seed_(process_hash_seed()) {}

void LabelIndex::assign(std::string text, std::vector<std::uint64_t> ends) {
    const std::size_t n = ends.size();
    // At most half full, so probe sequences stay short and always meet an empty slot.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(2, n * 2));
    const std::size_t mask = capacity - 1;
    // Each block of labels is hashed first and inserted second, so that the insertions
    // can prefetch their slots: a large table is written at random, and the misses
    // would otherwise run one by one.
    std::vector<Slot> slots(capacity, Slot{0, 0});
    constexpr std::size_t kBlock = 256, kAhead = 16;
    std::uint64_t hashes[kBlock];
    for (std::size_t first = 0; first < n; first += kBlock) {
        const std::size_t count = std::min(kBlock, n - first);
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = first + k, begin = at == 0 ? 0 : ends[at - 1];
            hashes[k] = hash_label(std::string_view(text.data() + begin, ends[at] - begin), seed_);
        }
        for (std::size_t k = 0; k < count; ++k) {
            if (k + kAhead < count) __builtin_prefetch(&slots[hashes[k + kAhead] & mask], 1);
            std::size_t i = hashes[k] & mask;
            while (slots[i].index_plus_one != 0) i = (i + 1) & mask;
            slots[i] = Slot{static_cast<std::uint32_t>(hashes[k] >> 32), static_cast<std::uint32_t>(first + k + 1)};
        }
    }
    text_ = std::move(text);
    ends_ = std::move(ends);
    slots_ = std::move(slots);
    mask_ = mask;
}

}  // namespace tarvenn::drift

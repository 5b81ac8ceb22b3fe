#include "drift/label_index.hpp"

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

void LabelIndex::assign(std::vector<std::string> sorted_labels) {
    // At most half full, so probe sequences stay short and always meet an empty slot.
    const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(2, sorted_labels.size() * 2));
    std::vector<Slot> slots(capacity, Slot{0, 0});
    const std::size_t mask = capacity - 1;
    for (std::size_t k = 0; k < sorted_labels.size(); ++k) {
        const std::uint64_t h = hash_label(sorted_labels[k], seed_);
        std::size_t i = h & mask;
        while (slots[i].index_plus_one != 0) i = (i + 1) & mask;
        slots[i] = Slot{h, static_cast<std::uint32_t>(k + 1)};
    }
    labels_ = std::move(sorted_labels);
    slots_ = std::move(slots);
    mask_ = mask;
}

}  // namespace tarvenn::drift

// The byte form of an accumulator: magic, format version, class tag, payload
// length, payload, then a checksum of everything before it. Fixed widths, little
// endian, floats as their bit patterns. A reader checks the frame before it hands
// out any field, and every read is bounds-checked.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvenn::engine {

enum class StateTag : std::uint16_t {
    DataBiasCounts = 0x0101,
    ModelBiasCells = 0x0102,
    ClassificationCounts = 0x0103,
    LogisticCounts = 0x0104,
    RegressionSums = 0x0105,
    ContinuousBinCounts = 0x0106,
    CategoricalBinCounts = 0x0107,
    DistinctValues = 0x0108,
};

inline constexpr char kMagic[4] = {'T', 'V', 'A', 'C'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kHeader = 4 + 2 + 2 + 8;

inline std::uint64_t checksum(std::span<const unsigned char> bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a
    for (unsigned char b : bytes) h = (h ^ b) * 0x100000001b3ULL;
    return h;
}

class Writer {
public:
    explicit Writer(StateTag tag) {
        bytes_.insert(bytes_.end(), kMagic, kMagic + 4);
        put_le(kVersion);
        put_le(static_cast<std::uint16_t>(tag));
        put_le(std::uint64_t{0});  // payload length, set by finish
    }
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u32(std::uint32_t v) { put_le(v); }
    void u64(std::uint64_t v) { put_le(v); }
    void f32(float v) { put_le(std::bit_cast<std::uint32_t>(v)); }
    void f64(double v) { put_le(std::bit_cast<std::uint64_t>(v)); }
    void text(std::string_view s) {
        u64(s.size());
        bytes_.insert(bytes_.end(), s.begin(), s.end());
    }
    std::vector<unsigned char> finish() {
        const std::uint64_t length = bytes_.size() - kHeader;
        for (int i = 0; i < 8; ++i) bytes_[8 + i] = static_cast<unsigned char>(length >> (8 * i));
        const std::uint64_t sum = checksum(bytes_);
        put_le(sum);
        return std::move(bytes_);
    }

private:
    template <class U>
    void put_le(U v) {
        for (std::size_t i = 0; i < sizeof(U); ++i) bytes_.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
    std::vector<unsigned char> bytes_;
};

class Reader {
public:
    // The payload of a well-formed frame, or nullopt (bad magic, version, length or checksum).
    static std::optional<Reader> open(std::span<const unsigned char> bytes) {
        if (bytes.size() < kHeader + 8 || std::memcmp(bytes.data(), kMagic, 4) != 0) return std::nullopt;
        Reader header(bytes.subspan(4, kHeader - 4));
        const auto version = header.get<std::uint16_t>();
        const auto tag = header.get<std::uint16_t>();
        const auto length = header.get<std::uint64_t>();
        if (!version || *version != kVersion || !tag || !length || *length != bytes.size() - kHeader - 8)
            return std::nullopt;
        Reader trailer(bytes.subspan(bytes.size() - 8));
        if (trailer.get<std::uint64_t>() != checksum(bytes.first(bytes.size() - 8))) return std::nullopt;
        Reader payload(bytes.subspan(kHeader, *length));
        payload.tag_ = static_cast<StateTag>(*tag);
        return payload;
    }

    StateTag tag() const { return tag_; }
    bool done() const { return ok_ && at_ == data_.size(); }
    bool ok() const { return ok_; }

    std::uint8_t u8() { return get<std::uint8_t>().value_or(0); }
    std::uint32_t u32() { return get<std::uint32_t>().value_or(0); }
    std::uint64_t u64() { return get<std::uint64_t>().value_or(0); }
    float f32() { return std::bit_cast<float>(u32()); }
    double f64() { return std::bit_cast<double>(u64()); }
    std::string text() {
        const std::uint64_t n = u64();
        if (!ok_ || n > data_.size() - at_) return fail(), std::string();
        std::string s(reinterpret_cast<const char*>(data_.data() + at_), n);
        at_ += n;
        return s;
    }
    // Room for `count` more items of `size` bytes: checked before a vector of them is allocated.
    bool has(std::uint64_t count, std::size_t size) {
        if (ok_ && count <= (data_.size() - at_) / size) return true;
        return fail();
    }

private:
    explicit Reader(std::span<const unsigned char> data) : data_(data) {}
    bool fail() {
        ok_ = false;
        return false;
    }
    template <class U>
    std::optional<U> get() {
        if (!ok_ || data_.size() - at_ < sizeof(U)) return fail(), std::nullopt;
        U v = 0;
        for (std::size_t i = 0; i < sizeof(U); ++i) v |= static_cast<U>(static_cast<U>(data_[at_ + i]) << (8 * i));
        at_ += sizeof(U);
        return v;
    }

    std::span<const unsigned char> data_;
    std::size_t at_ = 0;
    bool ok_ = true;
    StateTag tag_{};
};

}  // namespace tarvenn::engine

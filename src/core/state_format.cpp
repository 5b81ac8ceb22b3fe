#include "core/state_format.hpp"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace tarvenn::state {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'T', 'A', 'R', 'V', 'E', 'N', 'N', 0x1a};

// Slicing-by-8 tables for the reflected Castagnoli polynomial 0x82F63B78.
struct CrcTables {
    std::uint32_t t[8][256];
    constexpr CrcTables() : t{} {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};
constexpr CrcTables kCrc{};

std::uint64_t load_le(const std::uint8_t* p, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

StateError error(StateError::Kind kind, std::string message) { return StateError{kind, std::move(message)}; }

std::string tag_text(std::uint16_t tag) {
    if (auto name = class_name(tag)) return std::string(*name);
    return "unknown class tag " + std::to_string(tag);
}

// Magic, version, length and checksum; returns the class tag.
std::expected<std::uint16_t, StateError> check_frame(std::span<const std::uint8_t> s) {
    using K = StateError::Kind;
    if (s.size() < kMagic.size() || std::memcmp(s.data(), kMagic.data(), kMagic.size()) != 0)
        return std::unexpected(error(K::NotState, "not a tarvenn state"));
    if (s.size() < kHeaderSize) return std::unexpected(error(K::Truncated, "truncated state"));
    const auto version = static_cast<std::uint16_t>(load_le(s.data() + 8, 2));
    if (version != kFormatVersion)
        return std::unexpected(error(K::UnsupportedVersion, "unsupported state version " + std::to_string(version)));
    const std::uint64_t payload = load_le(s.data() + 12, 8);
    const std::size_t available = s.size() - kHeaderSize;
    if (available < kChecksumSize || payload > available - kChecksumSize)
        return std::unexpected(error(K::Truncated, "truncated state"));
    if (payload < available - kChecksumSize)
        return std::unexpected(error(K::TrailingBytes, "state has trailing bytes after its checksum"));
    const std::size_t body = kHeaderSize + static_cast<std::size_t>(payload);
    const auto stored = static_cast<std::uint32_t>(load_le(s.data() + body, 4));
    if (crc32c(s.first(body)) != stored) return std::unexpected(error(K::ChecksumMismatch, "checksum mismatch"));
    return static_cast<std::uint16_t>(load_le(s.data() + 10, 2));
}

}  // namespace

std::optional<std::string_view> class_name(std::uint16_t tag) {
    switch (static_cast<ClassTag>(tag)) {
        case ClassTag::DataBiasStreaming: return "PyDataBiasStreaming";
        case ClassTag::ModelBiasStreaming: return "PyModelBiasStreaming";
        case ClassTag::LinearRegressionStreaming: return "PyLinearRegressionStreaming";
        case ClassTag::LogisticRegressionStreaming: return "PyLogisticRegressionStreaming";
        case ClassTag::BinaryClassificationStreaming: return "PyBinaryClassificationStreaming";
        case ClassTag::ContinuousDataDrift: return "PyContinuousDataDrift";
        case ClassTag::CategoricalDataDrift: return "PyCategoricalDataDrift";
        case ClassTag::StreamingContinuousDataDriftFlush: return "PyStreamingContinuousDataDriftFlush";
        case ClassTag::StreamingContinuousDataDriftDecay: return "PyStreamingContinuousDataDriftDecay";
        case ClassTag::StreamingCategoricalDataDriftFlush: return "PyStreamingCategoricalDataDriftFlush";
        case ClassTag::StreamingCategoricalDataDriftDecay: return "PyStreamingCategoricalDataDriftDecay";
        case ClassTag::DataBiasCounts: return "DataBiasCounts";
        case ClassTag::ModelBiasCells: return "ModelBiasCells";
        case ClassTag::ClassificationCounts: return "ClassificationCounts";
        case ClassTag::LogisticCounts: return "LogisticCounts";
        case ClassTag::RegressionSums: return "RegressionSums";
        case ClassTag::ContinuousBinCounts: return "ContinuousBinCounts";
        case ClassTag::CategoricalBinCounts: return "CategoricalBinCounts";
        case ClassTag::DistinctValues: return "DistinctValues";
    }
    return std::nullopt;
}

namespace {

#if defined(__x86_64__)
// The SSE4.2 crc32 instruction computes exactly this CRC (same polynomial, same bit
// order), 8 bytes per instruction; chosen at run time.
__attribute__((target("sse4.2"))) std::uint32_t crc32c_sse42(const std::uint8_t* p, std::size_t n,
                                                              std::uint32_t c) {
    std::uint64_t c64 = c;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        c64 = _mm_crc32_u64(c64, v);
    }
    c = static_cast<std::uint32_t>(c64);
    for (; n > 0; --n) c = _mm_crc32_u8(c, *p++);
    return c;
}

bool have_sse42() {
    static const bool yes = __builtin_cpu_supports("sse4.2");
    return yes;
}
#endif

}  // namespace

std::uint32_t crc32c(std::span<const std::uint8_t> data, std::uint32_t crc) {
    std::uint32_t c = ~crc;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
#if defined(__x86_64__)
    if (have_sse42()) return ~crc32c_sse42(p, n, c);
#endif
    while (n >= 8) {
        const std::uint32_t lo = c ^ static_cast<std::uint32_t>(load_le(p, 4));
        const auto hi = static_cast<std::uint32_t>(load_le(p + 4, 4));
        c = kCrc.t[7][lo & 0xFF] ^ kCrc.t[6][(lo >> 8) & 0xFF] ^ kCrc.t[5][(lo >> 16) & 0xFF] ^
            kCrc.t[4][lo >> 24] ^ kCrc.t[3][hi & 0xFF] ^ kCrc.t[2][(hi >> 8) & 0xFF] ^
            kCrc.t[1][(hi >> 16) & 0xFF] ^ kCrc.t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n-- > 0) c = (c >> 8) ^ kCrc.t[0][(c ^ *p++) & 0xFF];
    return ~c;
}

// ---- writer

namespace {
// One spent state buffer per thread, kept warm for the next writer: a large state then
// reuses pages that are already mapped instead of faulting in fresh ones (and handing
// them back to the system) on every save.
constexpr std::size_t kSpareLimit = std::size_t{64} << 20;
thread_local std::vector<std::uint8_t> spare_buffer;
}  // namespace

void recycle(std::vector<std::uint8_t>&& spent) {
    if (spent.capacity() <= kSpareLimit && spent.capacity() > spare_buffer.capacity()) spare_buffer = std::move(spent);
}

StateWriter::StateWriter(ClassTag tag) : buf_(std::move(spare_buffer)) {
    buf_.clear();
    buf_.reserve(64);
    for (const std::uint8_t b : kMagic) buf_.push_back(b);
    u16(kFormatVersion);
    u16(static_cast<std::uint16_t>(tag));
    u64(0);  // payload length, filled in by finish()
}

void StateWriter::put(std::uint64_t v, int width) {
    std::uint8_t le[8];
    for (int i = 0; i < width; ++i) le[i] = static_cast<std::uint8_t>(v >> (8 * i));
    buf_.insert(buf_.end(), le, le + width);
}

void StateWriter::f64_array(std::span<const double> values) {
    u64(values.size());
    const std::size_t at = buf_.size();
    buf_.resize(at + 8 * values.size());
    if constexpr (std::endian::native == std::endian::little) {
        if (!values.empty()) std::memcpy(buf_.data() + at, values.data(), 8 * values.size());
    } else {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const auto bits = std::bit_cast<std::uint64_t>(values[i]);
            for (int b = 0; b < 8; ++b) buf_[at + 8 * i + b] = static_cast<std::uint8_t>(bits >> (8 * b));
        }
    }
}

void StateWriter::f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
void StateWriter::f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }

void StateWriter::text(std::string_view s) {
    const std::size_t at = buf_.size();
    buf_.resize(at + 8 + s.size());
    for (int i = 0; i < 8; ++i) buf_[at + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(s.size()) >> (8 * i));
    if (!s.empty()) std::memcpy(buf_.data() + at + 8, s.data(), s.size());
}

void StateWriter::bytes(std::span<const std::uint8_t> b) { buf_.insert(buf_.end(), b.begin(), b.end()); }

std::vector<std::uint8_t> StateWriter::finish() && {
    const std::uint64_t payload = buf_.size() - kHeaderSize;
    for (int i = 0; i < 8; ++i) buf_[12 + i] = static_cast<std::uint8_t>(payload >> (8 * i));
    put(crc32c(buf_), 4);
    return std::move(buf_);
}

// ---- reader

bool StateReader::need(std::size_t n) {
    if (error_) return false;
    if (n > remaining()) {
        error_ = error(StateError::Kind::Truncated, "truncated state");
        return false;
    }
    return true;
}

std::uint64_t StateReader::get(int width) {
    if (!need(static_cast<std::size_t>(width))) return 0;
    std::uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little)
        std::memcpy(&v, data_.data() + pos_, static_cast<std::size_t>(width));
    else
        v = load_le(data_.data() + pos_, width);
    pos_ += static_cast<std::size_t>(width);
    return v;
}

std::uint8_t StateReader::u8() { return static_cast<std::uint8_t>(get(1)); }
float StateReader::f32() { return std::bit_cast<float>(u32()); }
double StateReader::f64() { return std::bit_cast<double>(u64()); }

bool StateReader::boolean(std::string_view field) {
    const std::uint8_t v = u8();
    if (v > 1) fail_field(std::string(field) + " must be 0 or 1");
    return v == 1;
}

std::size_t StateReader::count(std::size_t elem_size) {
    const std::uint64_t n = u64();
    if (!ok()) return 0;
    // n * elem_size <= remaining, without overflow.
    if (elem_size != 0 && n > remaining() / elem_size) {
        error_ = error(StateError::Kind::Truncated, "truncated state");
        return 0;
    }
    return static_cast<std::size_t>(n);
}

std::size_t StateReader::count_at_most(std::size_t min_elem_size, std::size_t max) {
    const std::size_t n = count(min_elem_size);
    if (ok() && n > max) {
        fail_field("a count of " + std::to_string(n) + " is above its limit " + std::to_string(max));
        return 0;
    }
    return n;
}

std::string StateReader::text() { return std::string(text_view()); }

std::string_view StateReader::text_view() {
    const std::size_t n = count(1);
    if (!ok()) return {};
    std::string_view s(reinterpret_cast<const char*>(data_.data() + pos_), n);
    pos_ += n;
    return s;
}

std::vector<double> StateReader::f64_array() {
    const std::size_t n = count(8);
    if (!ok()) return {};
    std::vector<double> values(n);
    const std::uint8_t* p = data_.data() + pos_;
    if constexpr (std::endian::native == std::endian::little) {
        if (n != 0) std::memcpy(values.data(), p, 8 * n);
    } else {
        for (std::size_t i = 0; i < n; ++i) values[i] = std::bit_cast<double>(load_le(p + 8 * i, 8));
    }
    pos_ += 8 * n;
    return values;
}

std::span<const std::uint8_t> StateReader::bytes(std::size_t n) {
    if (!need(n)) return {};
    auto s = data_.subspan(pos_, n);
    pos_ += n;
    return s;
}

void StateReader::fail_field(std::string_view what) {
    if (!error_) error_ = error(StateError::Kind::FieldOutOfRange, "state field out of range: " + std::string(what));
}

std::expected<void, StateError> StateReader::finish() const {
    if (error_) return std::unexpected(*error_);
    if (pos_ != data_.size())
        return std::unexpected(error(StateError::Kind::TrailingBytes, "state payload has " +
                                                                          std::to_string(remaining()) +
                                                                          " unread bytes"));
    return {};
}

std::expected<StateReader, StateError> open_state(std::span<const std::uint8_t> s, ClassTag expected) {
    const auto tag = check_frame(s);
    if (!tag) return std::unexpected(tag.error());
    if (*tag != static_cast<std::uint16_t>(expected))
        return std::unexpected(error(StateError::Kind::WrongClass, "state is for class " + tag_text(*tag) + ", not " +
                                                                       tag_text(static_cast<std::uint16_t>(expected))));
    return StateReader(s.subspan(kHeaderSize, s.size() - kHeaderSize - kChecksumSize));
}

std::expected<ClassTag, StateError> peek_class(std::span<const std::uint8_t> s) {
    const auto tag = check_frame(s);
    if (!tag) return std::unexpected(tag.error());
    if (!class_name(*tag)) return std::unexpected(error(StateError::Kind::WrongClass, tag_text(*tag)));
    return static_cast<ClassTag>(*tag);
}

}  // namespace tarvenn::state

// The one binary format in which every object of the project saves its state.
//
//   offset  size  field
//   0       8     magic "TARVENN\x1a"
//   8       2     format version (u16, little-endian), currently 1
//   10      2     class tag (u16, ClassTag below)
//   12      8     payload length P in bytes (u64)
//   20      P     payload, written by the class's own save function
//   20+P    4     CRC-32C (Castagnoli) of bytes [0, 20+P)
//
// Every integer is fixed-width little-endian; floats are stored as their IEEE-754
// bit patterns (f32 as u32, f64 as u64), so NaN payloads and signed zeros survive.
// The payload layout of each class is documented in docs/state-format.md.
//
// Writing: StateWriter w(tag); w.u64(...); ...; std::vector<uint8_t> bytes = w.finish();
// Reading: auto r = open_state(bytes, tag);  // checks magic, version, length, checksum, class
//          then r->u64(), r->f64(), ...; r->count(elem_size) before any allocation;
//          r->fail_field("...") for a value out of range; r->finish() checks that every
//          payload byte was consumed and returns the first error, if any.
// The reader is sticky: after the first error every read returns zero and every
// count() returns 0, so a loader can read on and check finish() (or ok()) once,
// without ever allocating from a bad length. Loaders build a fresh object and
// only hand it over when finish() succeeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvenn::state {

inline constexpr std::uint16_t kFormatVersion = 1;
inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kChecksumSize = 4;

// The registry of classes that have a state. Tags are never reused or renumbered.
// 1-15: the classes of _tarvenn. 256-511: reserved for the accumulators of
// tarvenn._engine (add them here with their names in class_name()).
enum class ClassTag : std::uint16_t {
    DataBiasStreaming = 1,
    ModelBiasStreaming = 2,
    LinearRegressionStreaming = 3,
    LogisticRegressionStreaming = 4,
    BinaryClassificationStreaming = 5,
    ContinuousDataDrift = 6,
    CategoricalDataDrift = 7,
    StreamingContinuousDataDriftFlush = 8,
    StreamingContinuousDataDriftDecay = 9,
    StreamingCategoricalDataDriftFlush = 10,
    StreamingCategoricalDataDriftDecay = 11,
    // The accumulators of tarvenn._engine.
    DataBiasCounts = 256,
    ModelBiasCells = 257,
    ClassificationCounts = 258,
    LogisticCounts = 259,
    RegressionSums = 260,
    ContinuousBinCounts = 261,
    CategoricalBinCounts = 262,
    DistinctValues = 263,
};

// The Python-visible class name of a tag, or nullopt for an unknown tag.
std::optional<std::string_view> class_name(std::uint16_t tag);

// What is wrong with a state. `message` is the full text for the user.
struct StateError {
    enum class Kind : std::uint8_t {
        NotState,            // too short for a header, or the magic is wrong
        UnsupportedVersion,  // a version this build does not read
        Truncated,           // fewer bytes than the header or a length announces
        TrailingBytes,       // more bytes than the header announces, or unread payload
        ChecksumMismatch,
        WrongClass,
        FieldOutOfRange,     // a field the class cannot hold
    };
    Kind kind;
    std::string message;
};

// CRC-32C (Castagnoli polynomial, reflected, init and final xor 0xFFFFFFFF).
std::uint32_t crc32c(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

class StateWriter {
public:
    explicit StateWriter(ClassTag tag);

    void u8(std::uint8_t v) { buf_.push_back(v); }
    void u16(std::uint16_t v) { put(v, 2); }
    void u32(std::uint32_t v) { put(v, 4); }
    void u64(std::uint64_t v) { put(v, 8); }
    void i64(std::int64_t v) { put(static_cast<std::uint64_t>(v), 8); }
    void f32(float v);
    void f64(double v);
    void boolean(bool v) { u8(v ? 1 : 0); }
    // u64 byte length, then the bytes.
    void text(std::string_view s);
    void bytes(std::span<const std::uint8_t> b);
    // u64 element count, then the values (what StateReader::f64_array reads).
    void f64_array(std::span<const double> values);
    // Reserves room for `n` more payload bytes (no effect on the content).
    void reserve(std::size_t n) { buf_.reserve(buf_.size() + n); }
    // Appends `n` bytes for the caller to fill; valid until the next write.
    std::uint8_t* extend(std::size_t n) {
        const std::size_t at = buf_.size();
        buf_.resize(at + n);
        return buf_.data() + at;
    }

    // Fills in the payload length and appends the checksum. The writer is spent.
    std::vector<std::uint8_t> finish() &&;

private:
    void put(std::uint64_t v, int width);
    std::vector<std::uint8_t> buf_;
};

// Hands a spent result of StateWriter::finish() back for the next writer on this
// thread to reuse (a buffer larger than 64 MiB is simply freed).
void recycle(std::vector<std::uint8_t>&& spent);

class StateReader {
public:
    // Reads from the payload (header and checksum already checked by open_state).
    explicit StateReader(std::span<const std::uint8_t> payload) : data_(payload) {}

    std::uint8_t u8();
    std::uint16_t u16() { return static_cast<std::uint16_t>(get(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(get(4)); }
    std::uint64_t u64() { return get(8); }
    std::int64_t i64() { return static_cast<std::int64_t>(get(8)); }
    float f32();
    double f64();
    // A byte that must be 0 or 1; anything else fails with "<field> must be 0 or 1".
    bool boolean(std::string_view field);
    // A u64 element count whose `elem_size`-byte elements must fit in the unread
    // payload; 0 (and the reader failed as truncated) when they cannot.
    std::size_t count(std::size_t elem_size);
    // A u64 element count that must be at most `max` (for elements of varying size,
    // each of which takes at least `min_elem_size` bytes).
    std::size_t count_at_most(std::size_t min_elem_size, std::size_t max);
    std::string text();
    // The same as a view into the state bytes (valid while they are).
    std::string_view text_view();
    // A u64 element count, checked against the unread bytes, then that many f64.
    std::vector<double> f64_array();
    std::span<const std::uint8_t> bytes(std::size_t n);

    // Marks the state invalid: "<class>: field <field> is out of range" style text.
    void fail_field(std::string_view what);
    bool ok() const { return !error_.has_value(); }
    std::size_t remaining() const { return data_.size() - pos_; }
    // The first error, or an error when payload bytes were left unread.
    std::expected<void, StateError> finish() const;

private:
    std::uint64_t get(int width);
    bool need(std::size_t n);
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::optional<StateError> error_;
};

// Checks the header (magic, version, payload length), the checksum and the class,
// in that order, and returns a reader over the payload.
std::expected<StateReader, StateError> open_state(std::span<const std::uint8_t> state, ClassTag expected);

// The class tag that a state claims (after magic, version, length and checksum
// checks), for code that accepts several classes.
std::expected<ClassTag, StateError> peek_class(std::span<const std::uint8_t> state);

}  // namespace tarvenn::state

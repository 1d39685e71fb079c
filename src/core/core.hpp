// The time base shared by every part of gesturon: the pip, the wrapping rule,
// the position record and the catalogue record, and the fifteen patterns that
// are computed by formula rather than stored.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace gesturon {

// One pip is 1/64 of a beat. Every signed 32-bit value is a valid pip.
inline constexpr std::int32_t PIPS_PER_BEAT = 64;

// A position: three doubles, x then y then z. Stored tables are laid out as
// arrays of this record, so it must stay a plain 24-byte aggregate. A
// position made without values is the origin.
struct Offset3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};
static_assert(sizeof(Offset3) == 3 * sizeof(double));

// The catalogue record of one pattern. It owns nothing: the views point at
// program constants or into the object that produced the record.
struct PatternInfo {
    std::string_view name;
    std::string_view description;
    std::uint16_t period_pips;
    std::uint8_t dimensions;
};

// The one wrapping rule: the non-negative remainder of pip by period, and 0
// for a period below 1. The division never overflows because period >= 1.
constexpr std::int32_t wrap_pip(std::int32_t pip, std::int32_t period) noexcept {
    if (period < 1) {
        return 0;
    }
    std::int32_t r = pip % period;
    if (r < 0) {
        r += period;
    }
    return r;
}

// The identifier rule shared by pattern, recording and axis names: 1..128
// bytes, the first a lowercase ASCII letter, every byte a lowercase ASCII
// letter, a digit or "_". Every byte above 127 is refused.
constexpr bool is_identifier(std::string_view s) noexcept {
    constexpr auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
    if (s.empty() || s.size() > 128 || !lower(s.front())) {
        return false;
    }
    for (const char c : s) {
        if (!lower(c) && !(c >= '0' && c <= '9') && c != '_') {
            return false;
        }
    }
    return true;
}

// The hash of every name lookup: the stored names are placed by it when the
// program is built, a library places its own names by it when it is made.
// The bytes are read eight at a time, little end first, whatever the
// machine, so the generator and the module agree wherever each runs.
constexpr std::uint64_t name_hash(std::string_view name) noexcept {
    // Up to eight bytes from `at` as one little-endian word, missing ones 0.
    // On a little-endian machine, outside constant evaluation, that is one
    // plain load for a whole word.
    const auto word_at = [name](std::size_t at, std::size_t count) {
        if (!std::is_constant_evaluated() && std::endian::native == std::endian::little && count == 8) {
            std::uint64_t word;
            std::memcpy(&word, name.data() + at, 8);
            return word;
        }
        std::uint64_t word = 0;
        for (std::size_t k = 0; k < count; ++k) {
            word |= std::uint64_t{static_cast<unsigned char>(name[at + k])} << (8 * k);
        }
        return word;
    };
    // Two lanes take the words in turn, so that their multiplications
    // overlap; the lanes are folded together at the end.
    constexpr auto mix = [](std::uint64_t h, std::uint64_t word) {
        h = (h ^ word) * 0xBF58476D1CE4E5B9u;
        return h ^ (h >> 31);
    };
    std::uint64_t a = 0x9E3779B97F4A7C15u ^ name.size();
    std::uint64_t b = 0xD6E8FEB86659FD93u;
    std::size_t at = 0;
    for (; at + 16 <= name.size(); at += 16) {
        a = mix(a, word_at(at, 8));
        b = mix(b, word_at(at + 8, 8));
    }
    if (at + 8 <= name.size()) {
        a = mix(a, word_at(at, 8));
        at += 8;
        if (at < name.size()) {
            b = mix(b, word_at(at, name.size() - at));
        }
    } else if (at < name.size()) {
        a = mix(a, word_at(at, name.size() - at));
    }
    std::uint64_t h = mix(a, b);
    h *= 0x94D049BB133111EBu;
    return h ^ (h >> 32);
}

// The eight smooth body motions.
Offset3 bounce(std::int32_t pip) noexcept;
Offset3 sway(std::int32_t pip) noexcept;
Offset3 circle(std::int32_t pip) noexcept;
Offset3 figure_eight(std::int32_t pip) noexcept;
Offset3 step_touch(std::int32_t pip) noexcept;
Offset3 box_step(std::int32_t pip) noexcept;
Offset3 helix(std::int32_t pip) noexcept;
Offset3 morvel_background(std::int32_t pip) noexcept;

// The seven drum rudiments, rendered as two-axis hand motion.
Offset3 single_stroke_roll(std::int32_t pip) noexcept;
Offset3 double_stroke_roll(std::int32_t pip) noexcept;
Offset3 multiple_bounce_roll(std::int32_t pip) noexcept;
Offset3 single_paradiddle(std::int32_t pip) noexcept;
Offset3 flam(std::int32_t pip) noexcept;
Offset3 drag(std::int32_t pip) noexcept;
Offset3 five_stroke_roll(std::int32_t pip) noexcept;

}  // namespace gesturon

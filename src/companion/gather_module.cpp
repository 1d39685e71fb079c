// Rows of a pattern's table at any pips, wrapped into the period as the
// module wraps them, in one pass: gesturon_tools._gather, used by
// gesturon_tools.arrays. It reads and writes plain buffers, so it needs
// nothing but pybind11 to build; the caller makes the arrays.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace py = pybind11;

namespace {

constexpr std::int64_t kPipMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kPipMax = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kAxes = 3;

// pip mod period (0..period-1) of a 32-bit pip (given in 64 bits), for a
// period of 2^k: a mask on its two's complement.
struct ByMask {
    std::uint32_t mask;
    std::uint32_t operator()(std::int64_t pip) const noexcept { return static_cast<std::uint32_t>(pip) & mask; }
};

// pip mod period for any period, without a division: the pip is moved into
// 0..2^32-1 by adding 2^31, its remainder found by a multiplication by a
// precomputed 64-bit reciprocal (exact for every 32-bit numerator and
// divisor), and the remainder of the shift taken back off.
struct ByReciprocal {
    explicit ByReciprocal(std::uint32_t period)
        : period(period),
          reciprocal(~std::uint64_t{0} / period + 1),
          shift_rest(static_cast<std::uint32_t>((std::uint64_t{1} << 31) % period)) {}

    std::uint32_t operator()(std::int64_t pip) const noexcept {
        const std::uint32_t shifted = static_cast<std::uint32_t>(pip) ^ 0x80000000u;  // pip + 2^31
        const std::uint64_t fraction = reciprocal * shifted;
        // The high 64 bits of fraction * period, from 32-bit halves.
        const auto rest = static_cast<std::uint32_t>(
            ((fraction >> 32) * period + (((fraction & 0xFFFFFFFFu) * period) >> 32)) >> 32);
        // rest - shift_rest, plus the period where that went below zero:
        // without a branch, which random pips would mispredict half the time.
        const std::uint32_t below = 0u - static_cast<std::uint32_t>(rest < shift_rest);
        return rest - shift_rest + (static_cast<std::uint32_t>(period) & below);
    }

    std::uint64_t period;
    std::uint64_t reciprocal;
    std::uint32_t shift_rest;
};

py::buffer_info contiguous(const py::buffer& buffer, bool writable, const char* what) {
    py::buffer_info info = buffer.request(writable);
    py::ssize_t expected = info.itemsize;
    for (py::ssize_t axis = info.ndim - 1; axis >= 0; --axis) {
        if (info.strides[axis] != expected) {
            throw std::invalid_argument(std::string(what) + " must be C-contiguous");
        }
        expected *= info.shape[axis];
    }
    return info;
}

template <typename Pip, typename Wrap>
bool gather_rows(const double* rows, Wrap wrap, const Pip* pips, py::ssize_t count, double* out) {
    bool in_range = true;
    for (py::ssize_t i = 0; i < count; ++i) {
        const auto pip = static_cast<std::int64_t>(pips[i]);
        if constexpr (sizeof(Pip) > 4) {
            in_range &= pip >= kPipMin && pip <= kPipMax;
        }
        std::memcpy(out + kAxes * i, rows + kAxes * wrap(pip), kAxes * sizeof(double));
    }
    return in_range;
}

// Writes into `out` (float64, count x 3) the rows of `table` (float64,
// period x 3) at `pips` (count signed 32- or 64-bit integers). Returns
// False, with `out` unspecified, when a pip lies outside the 32-bit pip
// range: the caller reports that pip.
bool gather(const py::buffer& table, const py::buffer& pips, const py::buffer& out) {
    const py::buffer_info rows = contiguous(table, false, "table");
    const py::buffer_info at = contiguous(pips, false, "pips");
    py::buffer_info into = contiguous(out, true, "out");
    const bool doubles = rows.format == py::format_descriptor<double>::format() &&
                         into.format == py::format_descriptor<double>::format();
    if (!doubles || rows.ndim != 2 || rows.shape[1] != kAxes || rows.shape[0] < 1 ||
        rows.shape[0] > kPipMax) {
        throw std::invalid_argument("table must be a (period, 3) float64 array");
    }
    if (into.size != at.size * static_cast<py::ssize_t>(kAxes)) {
        throw std::invalid_argument("out must hold three float64 values for every pip");
    }
    const auto* source = static_cast<const double*>(rows.ptr);
    auto* target = static_cast<double*>(into.ptr);
    // A signed integer in the machine's own byte order ("q", or "=q" and the like).
    const std::string& kind = at.format;
    const bool native_order = kind.size() == 1 || (kind.size() == 2 && (kind[0] == '@' || kind[0] == '='));
    if (!native_order || std::strchr("bhilq", kind.back()) == nullptr || (at.itemsize != 4 && at.itemsize != 8)) {
        throw std::invalid_argument("pips must be signed 32- or 64-bit integers");
    }
    const auto period = static_cast<std::uint32_t>(rows.shape[0]);
    const auto run = [&](auto wrap) {
        py::gil_scoped_release unlocked;
        if (at.itemsize == 8) {
            return gather_rows(source, wrap, static_cast<const std::int64_t*>(at.ptr), at.size, target);
        }
        return gather_rows(source, wrap, static_cast<const std::int32_t*>(at.ptr), at.size, target);
    };
    if ((period & (period - 1)) == 0) {
        return run(ByMask{period - 1});
    }
    return run(ByReciprocal(period));
}

}  // namespace

PYBIND11_MODULE(_gather, m) {
    m.doc() = "Rows of a (period, 3) table at any 32-bit pips, wrapped into the period.";
    m.def("gather", &gather, py::arg("table"), py::arg("pips"), py::arg("out"),
          "Writes the rows of `table` at `pips` into `out`; False if a pip is outside the pip range.");
}

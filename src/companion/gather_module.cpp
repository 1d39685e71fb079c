// The two loops of gesturon_tools.arrays that run once a row:
// gesturon_tools._gather. `sample_rows` fills a pattern's table through the
// pattern's own `sample`, row by row, as Python would but without Python's
// loop; `gather` reads the rows of a table at any pips, wrapped into the
// period as the module wraps them, in one pass. Both read and write plain
// buffers, so they need nothing but pybind11 to build; the caller makes the
// arrays.
#include <pybind11/pybind11.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "core.hpp"

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

// x, y, z of one position into `row`. The module's own positions are read
// as the C++ record they hold (pybind11 shares registered types between
// extensions built alike, so the record is found by type); any other
// object through its as_tuple(), as the companion reads positions.
void read_position(const py::handle& position, double* row) {
    py::detail::make_caster<gesturon::Offset3> record;
    if (record.load(position, false)) {
        const auto& p = py::detail::cast_op<const gesturon::Offset3&>(record);
        row[0] = p.x;
        row[1] = p.y;
        row[2] = p.z;
        return;
    }
    const py::tuple xyz = position.attr("as_tuple")();
    if (xyz.size() != kAxes) {
        throw py::value_error("a position's as_tuple() must give x, y and z");
    }
    for (std::size_t axis = 0; axis < kAxes; ++axis) {
        row[axis] = xyz[axis].cast<double>();
    }
}

// Fills `out` (float64, period x 3) with what `sample(*head, pip)` returns
// for pip 0..period-1: the same calls a Python loop would make, in order,
// so every value is the one `sample` gives. What a call raises is raised.
void sample_rows(const py::handle& sample, const py::tuple& head, const py::buffer& out) {
    py::buffer_info into = contiguous(out, true, "out");
    if (into.format != py::format_descriptor<double>::format() || into.ndim != 2 || into.shape[1] != kAxes ||
        into.shape[0] - 1 > kPipMax) {
        throw std::invalid_argument("out must be a (period, 3) float64 array");
    }
    auto* target = static_cast<double*>(into.ptr);
    std::vector<PyObject*> arguments;
    for (const py::handle& argument : head) {
        arguments.push_back(argument.ptr());
    }
    arguments.push_back(nullptr);  // the pip, made anew for each call
    for (py::ssize_t pip = 0; pip < into.shape[0]; ++pip) {
        const py::int_ at(pip);
        arguments.back() = at.ptr();
        PyObject* position = PyObject_Vectorcall(sample.ptr(), arguments.data(), arguments.size(), nullptr);
        if (position == nullptr) {
            throw py::error_already_set();
        }
        read_position(py::reinterpret_steal<py::object>(position), target + kAxes * pip);
    }
}

}  // namespace

PYBIND11_MODULE(_gather, m) {
    m.doc() = "A pattern's table filled through its sample(), and its rows at any 32-bit pips.";
    m.def("sample_rows", &sample_rows, py::arg("sample"), py::arg("head"), py::arg("out"),
          "Writes sample(*head, pip) for pip 0..len(out)-1 into the rows of `out`.");
    m.def("gather", &gather, py::arg("table"), py::arg("pips"), py::arg("out"),
          "Writes the rows of `table` at `pips` into `out`; False if a pip is outside the pip range.");
}

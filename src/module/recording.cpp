// SampledRecording as Python sees it: a constructor with keyword arguments,
// read-only properties and sample(pip), where pip is taken as a strict int.
#include <pybind11/stl.h>
#include <pybind11/typing.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "bindings.hpp"
#include "recording.hpp"

namespace gesturon::bindings {

// The rows of a recording converted from Python: every number, row after
// row, and where each row ends. A million rows cost two growing arrays rather
// than a million small ones.
struct ConvertedRows {
    std::vector<double> values;
    std::vector<std::size_t> ends;

    RecordingRows view() const noexcept { return RecordingRows(values, ends); }
};

namespace {

using py::detail::make_caster;

bool load_number(py::handle item, bool convert, std::vector<double>& out) {
    if (PyFloat_CheckExact(item.ptr())) {
        out.push_back(PyFloat_AS_DOUBLE(item.ptr()));
        return true;
    }
    // Everything else (ints, objects with __float__ or __index__) converts
    // as for any other float argument. The item is held while its
    // conversion runs Python code.
    const py::object held = py::reinterpret_borrow<py::object>(item);
    make_caster<double> number;
    if (!number.load(held, convert)) {
        return false;
    }
    out.push_back(static_cast<double>(number));
    return true;
}

bool is_list_or_tuple(py::handle h) { return PyList_CheckExact(h.ptr()) || PyTuple_CheckExact(h.ptr()); }

// One row appended to `out`, converted as pybind11 converts a sequence to a
// std::vector<double>. Lists and tuples are read in place; the size is read
// again on every step, as a list iterator does, so a conversion that shrinks
// a list cannot make the loop reach past its end.
bool load_row(py::handle row, bool convert, std::vector<double>& out) {
    if (is_list_or_tuple(row)) {
        PyObject* const seq = row.ptr();
        for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq); ++i) {
            if (!load_number(PySequence_Fast_GET_ITEM(seq, i), convert, out)) {
                return false;
            }
        }
        return true;
    }
    // Any other row follows pybind11's rule for a std::vector<double>, read
    // item by item, with no room reserved for the length the row claims.
    return for_each_item(row, convert, [](std::size_t) {},
                         [&](py::handle item) { return load_number(item, convert, out); });
}

// The outer sequence follows pybind11's rule for std::vector: any sequence
// but str and bytes, or, when converting, a generator, set, frozenset, dict
// view, map or zip object read through a tuple. Lists and tuples are used as
// they are, read like a row; each row is held while it is converted.
bool load_rows(py::handle src, bool convert, ConvertedRows& rows) {
    if (!py::detail::object_is_convertible_to_std_vector(src)) {
        return false;
    }
    py::object outer;
    if (is_list_or_tuple(src)) {
        outer = py::reinterpret_borrow<py::object>(src);
    } else if (py::isinstance<py::sequence>(src) || convert) {
        outer = py::tuple(py::reinterpret_borrow<py::iterable>(src));
    } else {
        return false;
    }
    PyObject* const seq = outer.ptr();
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(seq);
    rows.ends.reserve(static_cast<std::size_t>(count));
    if (count > 0) {
        // Rows mostly share a length; the guess is capped at the most a
        // recording can hold, so an odd first row cannot reserve much more.
        const py::handle first = PySequence_Fast_GET_ITEM(seq, 0);
        if (is_list_or_tuple(first)) {
            const auto rows_count = static_cast<std::size_t>(count);
            const auto row_length = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(first.ptr()));
            const std::size_t cap = SampledRecording::MAX_VALUES;
            rows.values.reserve(row_length != 0 && rows_count > cap / row_length ? cap : rows_count * row_length);
        }
    }
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq); ++i) {
        const py::object row = py::reinterpret_borrow<py::object>(PySequence_Fast_GET_ITEM(seq, i));
        if (!load_row(row, convert, rows.values)) {
            return false;
        }
        rows.ends.push_back(rows.values.size());
    }
    return true;
}

}  // namespace

}  // namespace gesturon::bindings

namespace pybind11::detail {

template <>
struct type_caster<gesturon::bindings::ConvertedRows> {
    PYBIND11_TYPE_CASTER(gesturon::bindings::ConvertedRows, make_caster<std::vector<std::vector<double>>>::name);

    bool load(handle src, bool convert) { return gesturon::bindings::load_rows(src, convert, value); }
};

}  // namespace pybind11::detail

namespace gesturon::bindings {

namespace {

// The dimension names of a recording are few; a sequence that claims many
// reserves room for no more than this up front.
constexpr std::size_t kFewNames = 64;

SampledRecording make_recording(std::string name, Items<std::string, kFewNames> dimensions,
                                const ConvertedRows& samples, double bpm, double beat_zero_seconds,
                                std::int32_t start_pip) {
    return SampledRecording(std::move(name), std::move(dimensions.items), samples.view(), bpm, beat_zero_seconds,
                            start_pip);
}

}  // namespace

void bind_recording(py::module_& m) {
    py::class_<SampledRecording> cls(m, "SampledRecording");
    init_once(cls, &make_recording, py::arg("name"), py::arg("dimensions"), py::arg("samples"), py::arg("bpm"),
              py::arg("beat_zero_seconds") = 0.0, py::arg("start_pip") = 0);
    cls.def_property_readonly("name", on_built(&SampledRecording::name))
        .def_property_readonly("dimensions", on_built(&SampledRecording::dimensions))
        .def_property_readonly("sample_count", on_built(&SampledRecording::sample_count))
        .def_property_readonly("bpm", on_built(&SampledRecording::bpm))
        .def_property_readonly("beat_zero_seconds", on_built(&SampledRecording::beat_zero_seconds))
        .def_property_readonly("start_pip", on_built(&SampledRecording::start_pip))
        .def(
            "sample",
            [](Built<SampledRecording> self, std::int32_t pip) {
                // The list is filled straight from the recording's row, with
                // no native copy in between.
                const std::span<const double> values = self->row(pip);
                py::typing::List<float> out(values.size());
                for (std::size_t i = 0; i < values.size(); ++i) {
                    PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), py::float_(values[i]).release().ptr());
                }
                return out;
            },
            py::arg("pip").noconvert());
    refuse_pickling(cls);
}

}  // namespace gesturon::bindings

// Internal to the module definition: each group of bindings registers itself
// on the module in the order that module.cpp fixes, and the rules that every
// class of the module shares.
#pragma once

#include <pybind11/pybind11.h>

#include <span>
#include <string>

#include "core.hpp"

namespace gesturon::bindings {

namespace py = pybind11;

void bind_offset3(py::module_& m);
void bind_catalogue_functions(py::module_& m);
void bind_procedural_functions(py::module_& m);

// A Python list of catalogue dicts with the keys "name", "description",
// "period_pips" and "dimensions", in that order; strings are decoded as UTF-8.
py::list catalogue_list(std::span<const PatternInfo> records);

// Objects of the module's classes own native state that cannot be rebuilt
// from a pickle. pybind11's default lets protocols 0 and 1 reach a copy
// fallback that aborts the interpreter, so every protocol (and copy.copy,
// copy.deepcopy, which go through the same hook) is refused up front with
// the interpreter's usual message.
template <typename Class>
void refuse_pickling(Class& cls) {
    const std::string message =
        "cannot pickle '" + py::cast<std::string>(cls.attr("__module__")) + "." +
        py::cast<std::string>(cls.attr("__name__")) + "' object";
    cls.def("__reduce_ex__", [message](const py::object&, const py::object&) -> py::object {
        throw py::type_error(message);
    });
}

}  // namespace gesturon::bindings

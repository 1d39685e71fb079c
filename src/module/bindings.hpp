// Internal to the module definition: each group of bindings registers itself
// on the module in the order that module.cpp fixes, and the rules that every
// class of the module shares.
#pragma once

#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <typeinfo>

#include "core.hpp"

namespace gesturon::bindings {

namespace py = pybind11;

void bind_offset3(py::module_& m);
void bind_patterns(py::module_& m);
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

// pybind11 lets Cls.__new__(Cls) make an instance that no constructor has
// built; a member called on it would be handed freshly allocated,
// uninitialised memory as the object (or a null pointer, for a member
// function bound directly). pybind11 registers an object only once a
// constructor has built it, so built() lets through registered objects alone
// and refuses anything else with TypeError.
template <typename T>
const T& built(const T& self) {
    // The class's registration lives as long as the interpreter does.
    static const py::detail::type_info* const type = py::detail::get_type_info(typeid(T));
    if (!py::detail::get_object_handle(&self, type)) {
        throw py::type_error(std::string(type->type->tp_name) + " object was never initialised by __init__");
    }
    return self;
}

// A const member function bound as a method or property getter that runs
// only on a built object (see built()).
template <typename C, typename R, typename... A, bool NoExcept>
auto on_built(R (C::*member)(A...) const noexcept(NoExcept)) {
    return [member](const C& self, A... args) -> R { return (built(self).*member)(args...); };
}

}  // namespace gesturon::bindings

// Internal to the module definition: each group of bindings registers itself
// on the module in the order that module.cpp fixes, and the rules that every
// class of the module shares.
#pragma once

#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <typeinfo>
#include <utility>

#include "catalogue.hpp"
#include "core.hpp"

namespace gesturon::bindings {

namespace py = pybind11;

void bind_recording(py::module_& m);
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

// The native object of an instance that a constructor has built. pybind11
// lets Class.__new__(Class) make an instance without running __init__, and a
// member declared with `const T&` would then be handed freshly allocated,
// never constructed memory as its object. A member that takes `Built<T>`
// instead refuses such an instance with TypeError before anything reads it;
// anything that is not a T at all fails conversion as usual. A constructor
// called later on the instance builds it, and from then on it is accepted.
template <typename T>
class Built {
public:
    explicit Built(const T& object) noexcept : object_(&object) {}
    const T& operator*() const noexcept { return *object_; }
    const T* operator->() const noexcept { return object_; }

private:
    const T* object_;
};

// A const member function bound as a method or property getter that runs
// only on a built object.
template <typename C, typename R, typename... A, bool NoExcept>
auto on_built(R (C::*member)(A...) const noexcept(NoExcept)) {
    return [member](Built<C> self, A... args) -> R { return ((*self).*member)(args...); };
}

// Sampling by a caller's name. An unknown name becomes ValueError "Unknown
// gesturon: " followed by the name, as the default translation would make it,
// but from the whole name rather than from what(): pybind11 would cut the
// message at the first NUL and fail to decode a name that is not UTF-8 (as a
// bytes name may be). Bytes that are not UTF-8 come back as surrogate
// escapes, so str(error).encode("utf-8", "surrogateescape") is the message
// byte for byte.
template <typename Lookup>
Offset3 sample_by_name(Lookup&& lookup) {
    try {
        return lookup();
    } catch (const UnknownPattern& e) {
        const std::string message = std::string(UnknownPattern::kPrefix) + e.name();
        PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "surrogateescape");
        if (text != nullptr) {
            PyErr_SetObject(PyExc_ValueError, text);
            Py_DECREF(text);
        }
        throw py::error_already_set();
    }
}

}  // namespace gesturon::bindings

namespace pybind11::detail {

// The pybind11 instance behind `src` and the type record of T, when `src` is
// a T (or of a subclass); a null instance otherwise.
template <typename T>
std::pair<instance*, const type_info*> instance_of(handle src) {
    const type_info* const tinfo = get_type_info(typeid(T));
    if (tinfo == nullptr || !PyObject_TypeCheck(src.ptr(), tinfo->type)) {
        return {nullptr, tinfo};
    }
    return {reinterpret_cast<instance*>(src.ptr()), tinfo};
}

template <typename T>
class type_caster<gesturon::bindings::Built<T>> {
public:
    // Generated signatures name the class, as they would for `const T&`.
    static constexpr auto name = make_caster<T>::name;

    bool load(handle src, bool /*convert*/) {
        const auto [self, tinfo] = instance_of<T>(src);
        if (self == nullptr) {
            return false;
        }
        const value_and_holder v_h = self->get_value_and_holder(tinfo);
        // Only a constructor makes the holder; until then the value pointer
        // is null or points at raw memory.
        if (!v_h.holder_constructed()) {
            throw type_error(std::string(tinfo->type->tp_name) + " object was created without calling __init__");
        }
        object_ = v_h.value_ptr<T>();
        return true;
    }

    template <typename>
    using cast_op_type = gesturon::bindings::Built<T>;
    operator gesturon::bindings::Built<T>() const { return gesturon::bindings::Built<T>(*object_); }

private:
    const T* object_ = nullptr;
};

}  // namespace pybind11::detail

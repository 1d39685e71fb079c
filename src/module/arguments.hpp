// Internal to the module definition: arguments that stay sound whatever the
// caller's objects do while the other arguments of the same call are
// converted. Converting an argument may run the caller's Python code (an
// __index__, __float__, __len__, __iter__ or __getitem__), and that code may
// resize a bytearray, drop the last reference to an object already read, or
// call __init__ on the very object the call works on. Everything a binding
// keeps from an argument is therefore either immutable for as long as the
// call lasts or copied when that argument is converted.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include "bindings.hpp"

namespace gesturon::bindings {

// A name as the caller gave it. A str (its UTF-8 form, which the str caches
// and never changes) and bytes are read in place; a bytearray (or a subclass)
// is copied at once, because Python code run by a later argument may resize
// it and move its buffer.
class Name {
public:
    std::string_view view() const noexcept { return copied_ ? std::string_view(copy_) : view_; }

    void read_in_place(std::string_view text) noexcept {
        copied_ = false;
        view_ = text;
    }
    void copy(std::string text) noexcept {
        copied_ = true;
        copy_ = std::move(text);
    }

private:
    bool copied_ = false;
    std::string copy_;
    std::string_view view_;
};

// Calls `each(item)` for every item of `src`, accepting exactly what
// pybind11 accepts for a std::vector argument: any sequence but str and
// bytes, or, when converting, any other iterable read through a tuple first.
// Each item is held while `each` converts it, and whatever `each` keeps of it
// must be a copy. `reserve(n)` is told the length the object claims, which
// may be a lie or huge.
template <typename Reserve, typename Each>
bool for_each_item(py::handle src, bool convert, Reserve&& reserve, Each&& each) {
    if (!py::detail::object_is_convertible_to_std_vector(src)) {
        return false;
    }
    py::object seq;
    if (py::isinstance<py::sequence>(src)) {
        seq = py::reinterpret_borrow<py::object>(src);
    } else if (convert) {
        seq = py::tuple(py::reinterpret_borrow<py::iterable>(src));
    } else {
        return false;
    }
    reserve(py::len(seq));
    for (const py::handle item : seq) {
        const py::object held = py::reinterpret_borrow<py::object>(item);
        if (!each(held)) {
            return false;
        }
    }
    return true;
}

// Items of a sequence argument, each converted as T and copied out of its
// Python object while that object is held. The room reserved up front is at
// most `Cap` items, whatever length the sequence claims.
template <typename T, std::size_t Cap>
struct Items {
    std::vector<T> items;
};

// The three numbers of one position, read as pybind11 reads a
// std::array<double, 3> (a sequence of length 3, or when converting any
// other iterable through a tuple): exactly three items, counted as they are
// read rather than as the sequence claims.
struct Triple {
    double values[3] = {0.0, 0.0, 0.0};
};

// An instance that __init__ is about to build. See init_once below.
template <typename T>
struct Unbuilt {
    py::detail::instance* instance = nullptr;
    const py::detail::type_info* type = nullptr;
};

[[noreturn]] inline void refuse_rebuild(const py::detail::type_info* type) {
    throw py::type_error(std::string(type->type->tp_name) +
                         " object is already built; a built object cannot be built again");
}

inline bool built(const py::detail::instance* instance, const py::detail::type_info* type) {
    const py::detail::value_and_holder v_h =
        const_cast<py::detail::instance*>(instance)->get_value_and_holder(type);
    return v_h.holder_constructed() || v_h.instance_registered();
}

// Defines __init__ for `cls` from `make`, which converts the arguments into
// a T. A built object is immutable: __init__ called again on it raises
// TypeError and leaves it as it was, whether it is called from outside or
// from Python code run while the object's own constructor or one of its
// methods converts its arguments.
//
// pybind11 silently ignores a second __init__ of a registered instance
// (returning None), so the function is not marked as a constructor: it checks
// the instance itself, both before any argument is converted and again once
// all of them are, then places the new object and registers the instance as
// pybind11's own constructors do.
template <typename T, typename R, typename... Args, typename... Extra>
void init_once(py::class_<T>& cls, R (*make)(Args...), const Extra&... extra) {
    cls.def(
        "__init__",
        [make](Unbuilt<T> self, Args... args) {
            T made = make(std::forward<Args>(args)...);
            if (built(self.instance, self.type)) {
                refuse_rebuild(self.type);
            }
            py::detail::value_and_holder v_h = self.instance->get_value_and_holder(self.type);
            v_h.value_ptr() = new T(std::move(made));
            self.type->init_instance(self.instance, nullptr);
        },
        extra...);
    const py::handle function = py::detail::get_function(cls.attr("__init__"));
    py::detail::function_record* const record =
        py::detail::function_record_ptr_from_PyObject(PyCFunction_GET_SELF(function.ptr()));
    record->is_constructor = false;
}

}  // namespace gesturon::bindings

namespace pybind11::detail {

template <>
class type_caster<gesturon::bindings::Name> {
public:
    PYBIND11_TYPE_CASTER(gesturon::bindings::Name, make_caster<std::string_view>::name);

    bool load(handle src, bool convert) {
        if (PyByteArray_Check(src.ptr())) {
            make_caster<std::string> copy;
            if (!copy.load(src, convert)) {
                return false;
            }
            value.copy(std::move(static_cast<std::string&>(copy)));
            return true;
        }
        make_caster<std::string_view> in_place;
        if (!in_place.load(src, convert)) {
            return false;
        }
        value.read_in_place(static_cast<std::string_view&>(in_place));
        return true;
    }
};

template <>
class type_caster<gesturon::bindings::Triple> {
public:
    using Numbers = std::array<double, 3>;
    PYBIND11_TYPE_CASTER(gesturon::bindings::Triple, make_caster<Numbers>::name);

    bool load(handle src, bool convert) {
        if (isinstance<sequence>(src) && object_is_convertible_to_std_vector(src) && len(src) != 3) {
            return false;
        }
        std::size_t count = 0;
        const bool read = gesturon::bindings::for_each_item(
            src, convert, [](std::size_t) {},
            [&](handle item) {
                make_caster<double> number;
                if (count == 3 || !number.load(item, convert)) {
                    return false;
                }
                value.values[count++] = static_cast<double>(number);
                return true;
            });
        return read && count == 3;
    }
};

// Element is what the items convert as (Built<SampledPattern> for patterns),
// T what is kept of each (a copy of the pattern). Signatures show the type
// pybind11 would show for a std::vector of Element.
template <typename T, std::size_t Cap>
class type_caster<gesturon::bindings::Items<T, Cap>> {
    using Element = std::conditional_t<std::is_class_v<T> && !std::is_same_v<T, std::string> &&
                                           !std::is_same_v<T, gesturon::bindings::Triple>,
                                       gesturon::bindings::Built<T>, T>;

public:
    using Value = gesturon::bindings::Items<T, Cap>;
    PYBIND11_TYPE_CASTER(Value, make_caster<std::vector<Element>>::name);

    bool load(handle src, bool convert) {
        value.items.clear();
        return gesturon::bindings::for_each_item(
            src, convert, [this](std::size_t n) { value.items.reserve(std::min(n, Cap)); },
            [&](handle item) {
                make_caster<Element> element;
                if (!element.load(item, convert)) {
                    return false;
                }
                if constexpr (std::is_same_v<Element, T>) {
                    value.items.push_back(cast_op<T&&>(std::move(element)));
                } else {
                    value.items.push_back(*cast_op<Element>(element));
                }
                return true;
            });
    }
};

template <typename T>
class type_caster<gesturon::bindings::Unbuilt<T>> {
public:
    // Generated signatures name the class, as pybind11's constructors do.
    static constexpr auto name = make_caster<T>::name;

    bool load(handle src, bool /*convert*/) {
        const auto [self, tinfo] = instance_of<T>(src);
        if (self == nullptr) {
            return false;
        }
        if (gesturon::bindings::built(self, tinfo)) {
            gesturon::bindings::refuse_rebuild(tinfo);
        }
        value_ = {self, tinfo};
        return true;
    }

    template <typename>
    using cast_op_type = gesturon::bindings::Unbuilt<T>;
    operator gesturon::bindings::Unbuilt<T>() const { return value_; }

private:
    gesturon::bindings::Unbuilt<T> value_;
};

}  // namespace pybind11::detail

// The module-level sample(name, pip_count) and catalogue().
#include "arguments.hpp"
#include "bindings.hpp"
#include "catalogue.hpp"

namespace gesturon::bindings {

namespace {

// A new reference, or the pending Python error raised as a C++ exception.
py::object checked(PyObject* object) {
    if (object == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::object>(object);
}

// The four keys of a record, interned once and kept for the life of the
// process, so that a listing builds no key strings of its own.
struct RecordKeys {
    py::object name = checked(PyUnicode_InternFromString("name"));
    py::object description = checked(PyUnicode_InternFromString("description"));
    py::object period_pips = checked(PyUnicode_InternFromString("period_pips"));
    py::object dimensions = checked(PyUnicode_InternFromString("dimensions"));
};

const RecordKeys& record_keys() {
    // Never destroyed: the interpreter may be gone by the time static
    // destructors run.
    static const RecordKeys* const keys = new RecordKeys();
    return *keys;
}

void set_item(const py::object& dict, const py::object& key, py::object value) {
    if (PyDict_SetItem(dict.ptr(), key.ptr(), value.ptr()) != 0) {
        throw py::error_already_set();
    }
}

// Strict UTF-8, as py::str decodes: a caller's description that is not
// UTF-8 raises UnicodeDecodeError when it is listed.
py::object text(std::string_view s) {
    return checked(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), nullptr));
}

}  // namespace

py::list catalogue_list(std::span<const PatternInfo> records) {
    const RecordKeys& keys = record_keys();
    py::list out(records.size());
    std::size_t i = 0;
    for (const PatternInfo& r : records) {
        py::object d = checked(PyDict_New());
        set_item(d, keys.name, text(r.name));
        set_item(d, keys.description, text(r.description));
        set_item(d, keys.period_pips, checked(PyLong_FromLong(r.period_pips)));
        set_item(d, keys.dimensions, checked(PyLong_FromLong(r.dimensions)));
        PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i++), d.release().ptr());
    }
    return out;
}

void bind_catalogue_functions(py::module_& m) {
    m.def(
        "sample",
        [](const Name& name, std::int32_t pip) {
            return sample_by_name([&] { return gesturon::sample(name.view(), pip); });
        },
        py::arg("name"), py::arg("pip_count"));
    m.def("catalogue", [] { return catalogue_list(gesturon::catalogue()); });
}

}  // namespace gesturon::bindings

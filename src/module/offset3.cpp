// Offset3 as Python sees it: read-only x, y, z and as_tuple(), made only by
// the functions that return a position.
#include <tuple>

#include "bindings.hpp"

namespace gesturon::bindings {

void bind_offset3(py::module_& m) {
    py::class_<Offset3> cls(m, "Offset3");
    cls.def_readonly("x", &Offset3::x)
        .def_readonly("y", &Offset3::y)
        .def_readonly("z", &Offset3::z)
        .def("as_tuple", [](const Offset3& p) { return std::make_tuple(p.x, p.y, p.z); });
    refuse_pickling(cls);
    // Python cannot construct a position. pybind11 refuses a call of the class
    // but would let Offset3.__new__(Offset3) hand out an instance with no
    // value behind it; __new__ refuses the same way. Positions returned by
    // the module are allocated directly and never pass through __new__.
    cls.attr("__new__") = py::staticmethod(py::cpp_function([](const py::args&, const py::kwargs&) -> py::object {
        throw py::type_error("gesturon.Offset3: No constructor defined!");
    }));
}

}  // namespace gesturon::bindings

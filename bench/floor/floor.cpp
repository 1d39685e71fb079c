// What a call costs before any work is done: pybind11's dispatch, the
// conversion of the arguments and of the result, for each signature the
// module offers. Each function returns a constant (but gather, the floor of
// a span of rows gathered at once); the benchmark prints every
// module call as a ratio to the floor call of the same signature.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace py = pybind11;

namespace {

// Three doubles, returned by value as the module returns a position.
struct Point3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

Point3 point(std::int32_t) noexcept { return {}; }

// Stands for a caller-made object with sampling methods: a pattern (self and
// int), a library (self, str and int) and a recording (self and int, giving
// one float per axis).
class Table {
public:
    explicit Table(std::size_t axes) : row_(axes, 0.0) {}
    Point3 sample(std::int32_t) const noexcept { return {}; }
    Point3 sample_named(std::string_view, std::int32_t) const noexcept { return {}; }
    const std::vector<double>& row(std::int32_t) const noexcept { return row_; }

private:
    std::vector<double> row_;
};

// The rows of a (period, 3) table at 32-bit pips, wrapped into the period as
// the module wraps them: what gathering a span of pips costs natively, the
// floor of a gather from Python.
py::array_t<double> gather(const py::array_t<double, py::array::c_style>& table,
                           const py::array_t<std::int32_t, py::array::c_style>& pips) {
    const auto period = static_cast<std::int32_t>(table.shape(0));
    const auto count = pips.size();
    py::array_t<double> out({count, static_cast<py::ssize_t>(3)});
    const double* rows = table.data();
    const std::int32_t* at = pips.data();
    double* into = out.mutable_data();
    if ((period & (period - 1)) == 0) {  // a power of two: the mask, as the module's samplers do
        const std::int32_t mask = period - 1;
        for (py::ssize_t i = 0; i < count; ++i) {
            std::memcpy(into + 3 * i, rows + 3 * (at[i] & mask), 3 * sizeof(double));
        }
        return out;
    }
    for (py::ssize_t i = 0; i < count; ++i) {
        std::int32_t r = at[i] % period;
        if (r < 0) {
            r += period;
        }
        std::memcpy(into + 3 * i, rows + 3 * r, 3 * sizeof(double));
    }
    return out;
}

}  // namespace

PYBIND11_MODULE(gesturon_floor, m) {
    py::class_<Point3>(m, "Point3")
        .def_readonly("x", &Point3::x)
        .def_readonly("y", &Point3::y)
        .def_readonly("z", &Point3::z);
    m.def("point", &point);
    m.def("gather", &gather, py::arg("table"), py::arg("pips"));
    m.def("sample", [](std::string_view, std::int32_t) { return Point3{}; }, py::arg("name"), py::arg("pip_count"));
    py::class_<Table>(m, "Table")
        .def(py::init<std::size_t>(), py::arg("axes") = 3)
        .def("sample", &Table::sample, py::arg("pip_count").noconvert())
        .def("sample_named", &Table::sample_named, py::arg("name"), py::arg("pip_count").noconvert())
        .def("row", &Table::row, py::arg("pip").noconvert());
}

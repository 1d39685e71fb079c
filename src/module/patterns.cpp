// SampledPattern and PatternLibrary as Python sees them. Every member takes
// its instance as Built<T> (see bindings.hpp), so an instance that __new__
// made without __init__ is refused with TypeError.
#include <pybind11/stl.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "bindings.hpp"
#include "catalogue.hpp"

namespace gesturon::bindings {
namespace {

// The Python constructor: str, bytes or bytearray for the strings, and any
// sequence of three-number sequences for the samples; triple i is the
// position at pip i. The native constructor then validates everything.
SampledPattern make_pattern(std::string name, std::string description,
                            const std::vector<std::array<double, 3>>& samples) {
    std::vector<Offset3> positions;
    positions.reserve(samples.size());
    for (const auto& [x, y, z] : samples) {
        positions.push_back(Offset3{x, y, z});
    }
    return SampledPattern(std::move(name), std::move(description), std::move(positions));
}

// The library receives deep copies of the given patterns, in order; the
// Python patterns stay untouched and independent of it.
PatternLibrary make_library(const std::vector<Built<SampledPattern>>& patterns) {
    std::vector<SampledPattern> copies;
    copies.reserve(patterns.size());
    for (const Built<SampledPattern>& p : patterns) {
        copies.push_back(*p);
    }
    return PatternLibrary(std::move(copies));
}

}  // namespace

void bind_patterns(py::module_& m) {
    py::class_<SampledPattern> pattern(m, "SampledPattern");
    pattern.def(py::init(&make_pattern), py::arg("name"), py::arg("description"), py::arg("samples"))
        .def_property_readonly("name", on_built(&SampledPattern::name))
        .def_property_readonly("description", on_built(&SampledPattern::description))
        .def_property_readonly("period_pips", on_built(&SampledPattern::period_pips))
        .def("sample", on_built(&SampledPattern::sample), py::arg("pip_count").noconvert());
    refuse_pickling(pattern);

    py::class_<PatternLibrary> library(m, "PatternLibrary");
    library.def(py::init(&make_library), py::arg("patterns") = py::list())
        .def(
            "sample",
            [](Built<PatternLibrary> self, std::string_view name, std::int32_t pip) {
                return sample_by_name([&] { return self->sample(name, pip); });
            },
            py::arg("name"), py::arg("pip_count").noconvert())
        .def("catalogue", [](Built<PatternLibrary> self) { return catalogue_list(self->catalogue()); });
    refuse_pickling(library);
}

}  // namespace gesturon::bindings

// SampledPattern and PatternLibrary as Python sees them. Every member takes
// its instance as Built<T> (see bindings.hpp), so an instance that __new__
// made without __init__ is refused with TypeError.
#include <pybind11/stl.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "bindings.hpp"
#include "catalogue.hpp"

namespace gesturon::bindings {
namespace {

// No pattern holds more samples than the longest period; a sequence that
// claims more reserves no more room than that up front.
constexpr std::size_t kMostSamples = 65535;

// The Python constructor: str, bytes or bytearray for the strings, and any
// sequence of three-number sequences for the samples; triple i is the
// position at pip i. The native constructor then validates everything.
SampledPattern make_pattern(std::string name, std::string description, const Items<Triple, kMostSamples>& samples) {
    std::vector<Offset3> positions;
    positions.reserve(samples.items.size());
    for (const Triple& t : samples.items) {
        positions.push_back(Offset3{t.values[0], t.values[1], t.values[2]});
    }
    return SampledPattern(std::move(name), std::move(description), std::move(positions));
}

// The library receives deep copies of the given patterns, in order, each
// made while its Python object is held; the Python patterns stay untouched
// and independent of it.
PatternLibrary make_library(Items<SampledPattern, 4096> patterns) {
    return PatternLibrary(std::move(patterns.items));
}

}  // namespace

void bind_patterns(py::module_& m) {
    py::class_<SampledPattern> pattern(m, "SampledPattern");
    init_once(pattern, &make_pattern, py::arg("name"), py::arg("description"), py::arg("samples"));
    pattern.def_property_readonly("name", on_built(&SampledPattern::name))
        .def_property_readonly("description", on_built(&SampledPattern::description))
        .def_property_readonly("period_pips", on_built(&SampledPattern::period_pips))
        .def("sample", on_built(&SampledPattern::sample), py::arg("pip_count").noconvert());
    refuse_pickling(pattern);

    py::class_<PatternLibrary> library(m, "PatternLibrary");
    init_once(library, &make_library, py::arg("patterns") = py::list());
    library
        .def(
            "sample",
            [](Built<PatternLibrary> self, const Name& name, std::int32_t pip) {
                return sample_by_name([&] { return self->sample(name.view(), pip); });
            },
            py::arg("name"), py::arg("pip_count").noconvert())
        .def("catalogue", [](Built<PatternLibrary> self) { return catalogue_list(self->catalogue()); });
    refuse_pickling(library);
}

}  // namespace gesturon::bindings

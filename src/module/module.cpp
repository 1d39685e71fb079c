// The module gesturon: one body that defines every attribute in a fixed
// order. A class is registered before any function that takes or returns it,
// so generated signatures name it by its Python name.
#include <pybind11/pybind11.h>

#include "bindings.hpp"

PYBIND11_MODULE(gesturon, m) {
    using namespace gesturon::bindings;
    m.doc() = "Integer-pip rhythmic position functions";
    m.attr("PIPS_PER_BEAT") = gesturon::PIPS_PER_BEAT;
    // Classes: SampledRecording, Offset3, SampledPattern, PatternLibrary.
    bind_recording(m);
    bind_offset3(m);
    bind_patterns(m);
    // Functions: sample and catalogue, then the fifteen procedural patterns.
    bind_catalogue_functions(m);
    bind_procedural_functions(m);
}

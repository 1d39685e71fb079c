// The module-level sample(name, pip_count) and catalogue().
#include "bindings.hpp"
#include "catalogue.hpp"

namespace gesturon::bindings {

py::list catalogue_list(std::span<const PatternInfo> records) {
    py::list out(records.size());
    std::size_t i = 0;
    for (const PatternInfo& r : records) {
        py::dict d;
        d["name"] = py::str(r.name.data(), r.name.size());
        d["description"] = py::str(r.description.data(), r.description.size());
        d["period_pips"] = r.period_pips;
        d["dimensions"] = r.dimensions;
        out[i++] = std::move(d);
    }
    return out;
}

void bind_catalogue_functions(py::module_& m) {
    m.def(
        "sample",
        [](std::string_view name, std::int32_t pip) {
            return sample_by_name([&] { return gesturon::sample(name, pip); });
        },
        py::arg("name"), py::arg("pip_count"));
    m.def("catalogue", [] { return catalogue_list(gesturon::catalogue()); });
}

}  // namespace gesturon::bindings

// Readable, stable names for the cases of parameterised tests: ctest lists
// each case under its name instead of a dump of the case's bytes.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace gesturon::testing_names {

// Words of a text joined by "_", every other byte dropped, cut at `limit`
// bytes: "line 4: bar 1 has no steps" -> "line_4_bar_1_has_no_steps".
inline std::string identifier(std::string_view text, std::size_t limit = 64) {
    std::string out;
    bool gap = false;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            if (gap && !out.empty()) {
                out += '_';
            }
            out += c;
            gap = false;
        } else {
            gap = true;
        }
        if (out.size() >= limit) {
            break;
        }
    }
    return out.empty() ? "empty" : out;
}

// A signed number in a name: -5 -> "minus5".
inline std::string number(long long v) {
    return v < 0 ? "minus" + std::to_string(-(v + 1) + 1ULL) : std::to_string(v);
}

// The name generator of a suite whose cases carry a `name`.
struct ByName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return identifier(info.param.name);
    }
};

}  // namespace gesturon::testing_names

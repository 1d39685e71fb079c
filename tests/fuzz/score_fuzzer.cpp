// libFuzzer entry for the score reader and the motions. The first byte of an
// input picks a motion, the rest is score text. Text the reader refuses must
// be refused with std::invalid_argument; a score it accepts must render in
// that motion to one row per pip of its period, every value finite and
// within [-1, 1]. Anything else (another exception, a wrong row count, a
// value off the cube, a sanitizer report) is a crash.
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "beats.hpp"

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "score fuzzer: %s\n", what);
    std::abort();
}

bool on_cube(double v) {
    return std::isfinite(v) && v >= -1.0 && v <= 1.0;
}

// The longest time any input took, kept in the file that GESTURON_FUZZ_STATS
// names whenever it grows (libFuzzer may end the process without running
// exit handlers).
void note_time(std::chrono::steady_clock::duration took) {
    static double slowest_ms = 0.0;
    const double ms = std::chrono::duration<double, std::milli>(took).count();
    if (ms <= slowest_ms) {
        return;
    }
    slowest_ms = ms;
    if (const char* path = std::getenv("GESTURON_FUZZ_STATS")) {
        if (std::FILE* f = std::fopen(path, "w")) {
            std::fprintf(f, "slowest_input_ms %.3f\n", ms);
            std::fclose(f);
        }
    }
}

// One input: a motion byte and score text.
void check(const std::uint8_t* data, std::size_t size) {
    using namespace gesturon::beats;
    if (size == 0) {
        return;
    }
    const auto all = motions();
    const Motion& motion = all[data[0] % all.size()];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    Score score;
    try {
        score = parse_score(text);
    } catch (const std::invalid_argument&) {
        return;
    }
    const Rendering r = render(score, motion.key);
    if (r.rows.size() != static_cast<std::size_t>(score.period())) {
        fail("a rendering has a row count other than the period");
    }
    for (const gesturon::Offset3& p : r.rows) {
        if (!on_cube(p.x) || !on_cube(p.y) || !on_cube(p.z)) {
            fail("a rendered value is not finite or lies outside [-1, 1]");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto start = std::chrono::steady_clock::now();
    check(data, size);
    note_time(std::chrono::steady_clock::now() - start);
    return 0;
}

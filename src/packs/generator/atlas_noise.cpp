// Atlas block 4: noise paths over sixteen beats, drawn from SHA-256 digests
// indexed by position, with no random state anywhere.
//
// Control values. Each lane of a pattern (x, y, z, or r for an orbit's
// radius) has n control values, n being the number in the pattern's name.
// Control value i of lane L of pattern NAME comes from the SHA-256 digest of
// the ASCII text "NAME/L/i", with i in decimal (for example
// "noise_drift_5/x/0"): the first eight bytes of the digest, read as a
// big-endian unsigned 64-bit integer v, give (v >> 11) / 2^53 in [0, 1),
// mapped linearly onto [-1, 1). The control values of an x, y or z lane are
// then shifted by their mean, so the path wanders around the centre.
//
// Smoothing. The n control values sit evenly around the loop, value i at
// pip i * P / n, and the lane is their periodic uniform cubic B-spline: at
// tau = n k / P, in segment j = floor(tau) with u = tau - j, the value is
//   (c[j-1] (1-u)^3 + c[j] (3u^3 - 6u^2 + 4) + c[j+1] (-3u^3 + 3u^2 + 3u + 1)
//    + c[j+2] u^3) / 6,
// indices taken modulo n. The curve is twice continuously differentiable
// everywhere, across the seam included, so every path closes smoothly.
//
// Families (each scaled by one factor to a largest magnitude of 0.82):
//   noise_drift_n   x, y lanes: a wandering closed path;
//   noise_orbit_n   a circle whose radius 0.7 + 0.3 r wanders with lane r;
//   noise_ripple_n  the drift path with a vertical ripple of 2n cycles;
//   noise_depth_n   x, y, z lanes: the drift path in three axes.
#include <openssl/evp.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"

namespace gen::atlas {

namespace {

double control_value(const std::string& name, const std::string& lane, int index) {
    const std::string text = name + "/" + lane + "/" + std::to_string(index);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1 || size != 32) {
        std::cerr << "gesturon table generator: SHA-256 failed for " << text << '\n';
        std::exit(1);
    }
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v = (v << 8) | digest[static_cast<std::size_t>(i)];
    }
    const double unit = static_cast<double>(v >> 11) / 9007199254740992.0;  // 2^53
    return 2.0 * unit - 1.0;
}

// One lane: its control values and their periodic B-spline.
class Lane {
public:
    Lane(const std::string& name, const std::string& lane, int count, bool centred) {
        double sum = 0.0;
        for (int i = 0; i < count; ++i) {
            values_.push_back(control_value(name, lane, i));
            sum += values_.back();
        }
        if (centred) {
            for (double& v : values_) {
                v -= sum / count;
            }
        }
    }

    double at(int k, int period) const {
        const int n = static_cast<int>(values_.size());
        const double tau = static_cast<double>(n) * k / period;
        const int j = static_cast<int>(std::floor(tau));
        const double u = tau - j;
        const auto c = [&](int i) { return values_[static_cast<std::size_t>(((i % n) + n) % n)]; };
        const double v = 1.0 - u;
        return (c(j - 1) * v * v * v + c(j) * (3.0 * u * u * u - 6.0 * u * u + 4.0) +
                c(j + 1) * (-3.0 * u * u * u + 3.0 * u * u + 3.0 * u + 1.0) + c(j + 2) * u * u * u) /
               6.0;
    }

private:
    std::vector<double> values_;
};

Table noise_table(const std::string& kind, int n) {
    const std::string name = "noise_" + kind + "_" + std::to_string(n);
    const std::string description =
        "Indexed SHA-256 control points in a closed " + kind + " path. No mutable random state.";
    const Lane x(name, "x", n, true);
    const Lane y(name, "y", n, true);
    const Lane z(name, "z", n, true);
    const Lane r(name, "r", n, false);
    const bool depth = kind == "depth";
    Table t = make_table(name, description, kSixteenBeats, depth ? 3 : 2, [&](int k) {
        if (kind == "orbit") {
            const double radius = 0.7 + 0.3 * r.at(k, kSixteenBeats);
            const double a = loop_angle(k, kSixteenBeats);
            return Offset3{radius * std::cos(a), radius * std::sin(a), 0.0};
        }
        Offset3 row{x.at(k, kSixteenBeats), y.at(k, kSixteenBeats), depth ? z.at(k, kSixteenBeats) : 0.0};
        if (kind == "ripple") {
            row.y += 0.2 * std::sin(2.0 * n * loop_angle(k, kSixteenBeats));
        }
        return row;
    });
    scale(t.rows, kPeak / peak_any(t.rows));
    return t;
}

}  // namespace

std::vector<Table> noise_family() {
    std::vector<Table> family;
    for (const int n : {5, 7, 9, 11}) {
        family.push_back(noise_table("drift", n));
    }
    for (const int n : {6, 8, 10, 12}) {
        family.push_back(noise_table("orbit", n));
    }
    for (const int n : {5, 7, 9, 11}) {
        family.push_back(noise_table("ripple", n));
    }
    for (const int n : {6, 8, 10, 12}) {
        family.push_back(noise_table("depth", n));
    }
    return family;
}

}  // namespace gen::atlas

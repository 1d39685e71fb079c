#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue.hpp"
#include "packs.hpp"

namespace {

using gesturon::catalogue;
using gesturon::pack_entries;

// The generator placed every name by name_hash; the module must find each
// one again, from a copy of its bytes, at its own entry.
TEST(FindStored, FindsEveryStoredNameAtItsOwnEntry) {
    for (const auto& e : pack_entries()) {
        const std::string name(e.info.name);
        EXPECT_EQ(gesturon::find_stored(name), &e) << name;
    }
    EXPECT_EQ(gesturon::find_stored("bounce"), nullptr);  // procedural names are not stored
    EXPECT_EQ(gesturon::find_stored(""), nullptr);
}

TEST(PackEntries, NamesAreStoredNulTerminated) {
    for (const auto& e : pack_entries()) {
        EXPECT_EQ(e.info.name.data()[e.info.name.size()], '\0') << e.info.name;
    }
}

TEST(Catalogue, ListsProceduralThenStoredRecords) {
    const auto& list = catalogue();
    const auto entries = pack_entries();
    ASSERT_EQ(list.size(), 15 + entries.size());
    EXPECT_EQ(list.front().name, "bounce");
    EXPECT_EQ(list[14].name, "five_stroke_roll");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(list[15 + i].name.data(), entries[i].info.name.data());
        EXPECT_EQ(list[15 + i].period_pips, entries[i].info.period_pips);
        EXPECT_EQ(list[15 + i].dimensions, entries[i].info.dimensions);
    }
    EXPECT_EQ(&catalogue(), &list);
}

TEST(Sample, FindsEveryStoredNameThroughItsOwnSampler) {
    for (const auto& e : pack_entries()) {
        const std::string name(e.info.name);  // a copy: found by bytes, not by address
        for (std::int32_t pip : {-1, 0, 7, static_cast<std::int32_t>(e.info.period_pips)}) {
            const auto got = gesturon::sample(name, pip);
            const auto want = e.sampler(pip);
            EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << name << " at " << pip;
        }
    }
}

TEST(Sample, StoredSamplersWrapByTheirPeriod) {
    for (const auto& e : pack_entries()) {
        const std::int32_t period = e.info.period_pips;
        for (std::int32_t pip : {INT32_MIN, -period - 1, -1, 0, period - 1, period, INT32_MAX}) {
            const auto got = e.sampler(pip);
            const auto want = e.sampler(gesturon::wrap_pip(pip, period));
            EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << e.info.name << " at " << pip;
        }
    }
}

TEST(Sample, NamesOutsideTheCatalogueThrowWithTheName) {
    std::vector<std::string> misses = {"", "a", "zzzzzzzz", "\xff\xff", "Bounce", "bounce ", "boun"};
    for (const auto& e : pack_entries()) {
        const std::string name(e.info.name);
        misses.push_back(name.substr(0, name.size() - 1));  // a prefix
        misses.push_back(name + "_");                        // an extension
    }
    for (const std::string& name : misses) {
        if (std::any_of(catalogue().begin(), catalogue().end(),
                        [&](const gesturon::PatternInfo& r) { return r.name == name; })) {
            continue;  // a prefix that happens to be another pattern's name
        }
        try {
            gesturon::sample(name, 0);
            ADD_FAILURE() << "found " << name;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), "Unknown gesturon: " + name);
        }
    }
}

}  // namespace

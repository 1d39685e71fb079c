// Caller-made patterns and libraries where Python cannot reach them: the
// moved-from state, the library's refusal of an empty pattern, and the
// catalogue's one-time construction under concurrent first use.
//
// ctest runs every test in a process of its own, so in the concurrency tests
// the threads really are the catalogue's first callers.
#include <gtest/gtest.h>

#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "catalogue.hpp"
#include "packs.hpp"

namespace {

using gesturon::Offset3;
using gesturon::PatternInfo;
using gesturon::PatternLibrary;
using gesturon::SampledPattern;

constexpr std::size_t kProceduralCount = 15;

// A three-dimensional pattern of three samples.
SampledPattern make_helix_like(std::string name) {
    return SampledPattern(std::move(name), "three samples", {{0.1, 0.0, 0.0}, {0.2, 0.5, 0.0}, {0.3, 0.0, -0.25}});
}

template <typename Exception, typename F>
void expect_throw_message(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "expected an exception with \"" << message << "\"";
    } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

void expect_moved_from(const SampledPattern& p) {
    expect_throw_message<std::logic_error>([&] { p.sample(0); }, "Cannot sample a moved-from pattern");
    expect_throw_message<std::logic_error>([&] { p.sample(-7); }, "Cannot sample a moved-from pattern");
    const PatternInfo info = p.info();
    EXPECT_EQ(info.period_pips, 0);
    EXPECT_TRUE(info.name.empty());
    EXPECT_TRUE(info.description.empty());
    EXPECT_EQ(info.dimensions, 3) << "a moved-from pattern keeps its dimensions";
    EXPECT_EQ(p.period_pips(), 0);
    EXPECT_TRUE(p.name().empty());
    EXPECT_TRUE(p.description().empty());
}

void expect_intact(const SampledPattern& p, const std::string& name) {
    EXPECT_EQ(p.name(), name);
    EXPECT_EQ(p.description(), "three samples");
    EXPECT_EQ(p.info().period_pips, 3);
    EXPECT_EQ(p.info().dimensions, 3);
    EXPECT_EQ(p.sample(-1).z, -0.25);
    EXPECT_EQ(p.sample(4).y, 0.5);
}

TEST(SampledPatternMove, ConstructionLeavesTheSourceMovedFrom) {
    SampledPattern source = make_helix_like("source_pattern_with_a_name_longer_than_small_buffers");
    const SampledPattern target(std::move(source));
    expect_moved_from(source);
    expect_intact(target, "source_pattern_with_a_name_longer_than_small_buffers");
}

TEST(SampledPatternMove, AssignmentLeavesTheSourceMovedFrom) {
    SampledPattern source = make_helix_like("src");
    SampledPattern target("other", "", {{1.0, 0.0, 0.0}});
    target = std::move(source);
    expect_moved_from(source);
    expect_intact(target, "src");
}

TEST(SampledPatternCopy, IsDeepAndItsRecordViewsItsOwnStrings) {
    const SampledPattern original = make_helix_like("orig");
    const SampledPattern copy(original);
    expect_intact(copy, "orig");
    EXPECT_NE(copy.info().name.data(), original.info().name.data());
    EXPECT_EQ(copy.info().name.data(), copy.name().data());
    EXPECT_EQ(copy.info().description.data(), copy.description().data());
}

TEST(PatternLibraryChecks, RefusesAMovedFromPattern) {
    SampledPattern p = make_helix_like("first");
    const SampledPattern taken(std::move(p));
    std::vector<SampledPattern> pack;
    pack.push_back(make_helix_like("kept"));
    pack.push_back(p);  // no samples, empty name
    expect_throw_message<std::invalid_argument>([&] { PatternLibrary{pack}; }, "Empty/moved-from pattern");
    // Two moved-from patterns share the empty name: the first already fails,
    // before the duplicate check.
    expect_throw_message<std::invalid_argument>([&] { PatternLibrary{{p, p}}; }, "Empty/moved-from pattern");
}

TEST(PatternLibraryChecks, TooManyIsCheckedBeforeAnythingElse) {
    SampledPattern p = make_helix_like("x");
    const SampledPattern taken(std::move(p));
    const std::vector<SampledPattern> pack(PatternLibrary::max_patterns + 1, p);
    expect_throw_message<std::invalid_argument>([&] { PatternLibrary{pack}; }, "Too many patterns");
}

// A full library finds each of its own names, hands every other name on to
// the catalogue, and once moved from holds no names of its own.
TEST(PatternLibraryLookup, FindsEveryOwnNameAndPassesOthersOn) {
    std::vector<SampledPattern> pack;
    for (std::size_t i = 0; i < PatternLibrary::max_patterns; ++i) {
        pack.emplace_back("move_" + std::to_string(i), "", std::vector<Offset3>{{static_cast<double>(i) / 1024, 0.0, 0.0}});
    }
    PatternLibrary library(std::move(pack));
    for (std::size_t i = 0; i < PatternLibrary::max_patterns; ++i) {
        ASSERT_EQ(library.sample("move_" + std::to_string(i), 5).x, static_cast<double>(i) / 1024) << i;
    }
    const std::string stored(gesturon::pack_entries().back().info.name);
    EXPECT_EQ(library.sample(stored, 3).y, gesturon::sample(stored, 3).y);
    EXPECT_EQ(library.sample("helix", 9).z, gesturon::helix(9).z);
    EXPECT_THROW(library.sample("move_1024", 0), gesturon::UnknownPattern);

    const PatternLibrary taken(std::move(library));
    EXPECT_EQ(taken.sample("move_7", 0).x, 7.0 / 1024);
    EXPECT_THROW(library.sample("move_7", 0), gesturon::UnknownPattern);
    EXPECT_EQ(library.sample("helix", 9).z, gesturon::helix(9).z);
}

// The catalogue list has one record per procedural pattern and per pack
// entry, the pack records in array order.
void expect_complete(const std::vector<PatternInfo>& list) {
    const auto entries = gesturon::pack_entries();
    ASSERT_EQ(list.size(), kProceduralCount + entries.size());
    EXPECT_EQ(list.front().name, "bounce");
    EXPECT_EQ(list[kProceduralCount - 1].name, "five_stroke_roll");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(list[kProceduralCount + i].name, entries[i].info.name);
    }
}

TEST(CatalogueFirstUse, ConcurrentCallersAllSeeOneFinishedList) {
    constexpr int kThreads = 8;
    std::vector<const std::vector<PatternInfo>*> seen(kThreads, nullptr);
    std::vector<const PatternInfo*> seen_data(kThreads, nullptr);
    std::latch start(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                const std::vector<PatternInfo>& list = gesturon::catalogue();
                seen[t] = &list;
                seen_data[t] = list.data();
                expect_complete(list);
            });
        }
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], &gesturon::catalogue());
        EXPECT_EQ(seen_data[t], gesturon::catalogue().data()) << "the list was built more than once";
    }
}

TEST(CatalogueFirstUse, ConcurrentLibraryConstructorsShareTheList) {
    constexpr int kThreads = 6;
    std::vector<std::vector<PatternInfo>> listings(kThreads);
    std::latch start(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                std::vector<SampledPattern> pack;
                pack.push_back(make_helix_like("user_" + std::to_string(t)));
                start.arrive_and_wait();
                const PatternLibrary library(std::move(pack));
                listings[t] = library.catalogue();
                listings[t].pop_back();  // the user record views the library, which is gone
            });
        }
    }
    const std::vector<PatternInfo>& list = gesturon::catalogue();
    expect_complete(list);
    for (const auto& listing : listings) {
        ASSERT_EQ(listing.size(), list.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            // Built-in records are copied from the one list: same views.
            ASSERT_EQ(listing[i].name.data(), list[i].name.data());
        }
    }
}

}  // namespace

// Named-resource registries: lookups by exact name, stable value addresses, the one
// current entry of the bindable kinds, and the fatal reports for absent names.
#include "models/Model.h"
#include "resources/Registry.h"
#include "resources/TextureManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Counter {
    int value = 7;  // the kind's default
};

class CounterRegistry : public ResourceRegistry<Counter> {
public:
    std::string kindName() const override { return "counter"; }
};

// Records every hook call with the `current` name the hook saw.
class RecordingPool : public UsableRegistry<int> {
public:
    std::string kindName() const override { return "FBO"; }
    std::vector<std::string> calls;

protected:
    void onUse(const std::string& name) override {
        calls.push_back("use " + name + " current=" + current());
    }
    void onUnuse() override { calls.push_back("unuse current=" + current()); }
};

RecordingPool* watchedPool = nullptr;

// Runs at exit (fatalError exits), so a death test can show the state at the moment
// the program stopped.
void reportWatchedPool() {
    std::fprintf(stderr, "[current=%s calls=%zu]", watchedPool->current().c_str(),
                 watchedPool->calls.size());
}

}  // namespace

TEST(Registry, EntryInsertsTheDefaultOnceAndUpdatesInPlace) {
    CounterRegistry registry;
    EXPECT_EQ(registry.find("a"), nullptr);
    Counter& first = registry.entry("a");
    EXPECT_EQ(first.value, 7);
    first.value = 11;
    Counter& again = registry.entry("a");
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(again.value, 11);
    EXPECT_EQ(registry.find("a"), &first);
    EXPECT_EQ(&registry.get("a"), &first);
    EXPECT_EQ(registry.size(), 1u);
}

TEST(Registry, ValuesKeepTheirAddressWhileTheRegistryGrows) {
    CounterRegistry registry;
    Counter* kept = &registry.entry("m");
    kept->value = 99;
    for (int i = 0; i < 2000; ++i) registry.entry("n" + std::to_string(i)).value = i;
    EXPECT_EQ(&registry.get("m"), kept);
    EXPECT_EQ(kept->value, 99);
    EXPECT_EQ(registry.get("n1999").value, 1999);
}

TEST(Registry, NamesAreComparedExactly) {
    CounterRegistry registry;
    registry.entry("Risti");
    EXPECT_EQ(registry.find("risti"), nullptr);
    EXPECT_EQ(registry.find("Risti "), nullptr);
    EXPECT_EQ(registry.find("Rist"), nullptr);
    EXPECT_NE(registry.find("Risti"), nullptr);
    EXPECT_EXIT(registry.get("risti"), ::testing::ExitedWithCode(1),
                "No such counter: 'risti'\\.");
}

TEST(Registry, RealKindsNameThemselvesInTheMissingNameReport) {
    TextureManager textures;
    EXPECT_EQ(textures.kindName(), "texture");
    EXPECT_EXIT(textures.get("risti"), ::testing::ExitedWithCode(1),
                "No such texture: 'risti'\\.");
    ModelManager models;
    EXPECT_EQ(models.kindName(), "model");
    EXPECT_EXIT(models.get("teapot"), ::testing::ExitedWithCode(1),
                "No such model: 'teapot'\\.");
}

TEST(UsableRegistry, SecondUseReplacesTheFirstAndOnlyTheLaterIsUnbound) {
    RecordingPool pool;
    pool.entry("A");
    pool.entry("B");
    EXPECT_EQ(pool.current(), "");
    pool.use("A");
    EXPECT_EQ(pool.current(), "A");
    pool.use("B");
    pool.unuse();
    EXPECT_EQ(pool.current(), "");
    std::vector<std::string> expected = {"use A current=A", "use B current=B",
                                         "unuse current=B"};
    EXPECT_EQ(pool.calls, expected);
}

TEST(UsableRegistry, UnuseWithNothingInUseIsFatal) {
    RecordingPool pool;
    pool.entry("rt0");
    pool.use("rt0");
    pool.unuse();
    EXPECT_EXIT(pool.unuse(), ::testing::ExitedWithCode(1), "Cannot unuse: No FBO in use\\.");
    EXPECT_EQ(pool.calls.size(), 2u);
}

TEST(UsableRegistry, UseOfAnAbsentNameStopsBeforeAnythingChanges) {
    RecordingPool pool;
    pool.entry("rt0");
    pool.use("rt0");
    watchedPool = &pool;
    EXPECT_EXIT(
        {
            std::atexit(reportWatchedPool);
            pool.use("rt1");
        },
        ::testing::ExitedWithCode(1), "No such FBO: 'rt1'\\..*\\[current=rt0 calls=1\\]");
    watchedPool = nullptr;
}

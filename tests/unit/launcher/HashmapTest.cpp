#include "launcher/Hashmap.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <set>
#include <string>

using namespace mirota;

namespace {

std::u16string Ascii(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

struct HashCase {
    std::u16string key;
    std::uint32_t hash;
};

TEST(DefaultHashFunction, KnownValues) {
    const HashCase cases[] = {
        {u"", 1},
        {u"abc", 0x024D0127},
        {u"COM3", 46792979},
        {u"COM4", 46858516},
        {u"COM10", 67699009},
        // A sum that reaches 65521 exactly stays unreduced (Adler-32 would give 0 here).
        {std::u16string(1, char16_t(0xFFF0)), 0xFFF1FFF1},
        // Each sum is reduced once per code unit.
        {std::u16string(2, char16_t(0xFFFF)), 0x002C001D},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DefaultHashFunction(c.key), c.hash) << std::string(c.key.begin(), c.key.end());
}

TEST(DefaultHashFunction, LongRunNearFFFFSpillsAboveSixteenBits) {
    // a grows by 14 per U+FFFF once past the first reduction; after 5000 of them it no longer fits in
    // 16 bits and the hash is the plain OR of both sums.
    const std::uint32_t a = 1 + 14 * 5000;
    const std::uint32_t h = DefaultHashFunction(std::u16string(5000, char16_t(0xFFFF)));
    EXPECT_EQ(h & 0x1FFFF, a & 0x1FFFF);
    EXPECT_GT(a, 0xFFFFu);
}

TEST(DefaultHashFunction, AsciiKeysMatchAdler32) {
    std::vector<std::string> keys = {"COM1",  "COM256", "ttyUSB0",     "ttyUSB12",
                                     "Error", "A",      "Mirota MX 4", "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~"};
    for (int i = 0; i < 300; ++i)
        keys.push_back("COM" + std::to_string(i));
    for (const auto& k : keys) {
        const auto ref = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(k.data()),
                                 static_cast<uInt>(k.size()));
        EXPECT_EQ(DefaultHashFunction(Ascii(k)), ref) << k;
    }
}

TEST(THashMap, LauncherPortsFallInTheirBuckets) {
    THashMap map(2053);
    EXPECT_EQ(map.BucketCount(), 2053u);
    EXPECT_EQ(map.BucketIndex(u"COM3"), 1003u);
    EXPECT_EQ(map.BucketIndex(u"COM4"), 844u);
    EXPECT_EQ(map.BucketIndex(u"COM10"), 1334u);
    EXPECT_EQ(map.HashFunction(), &DefaultHashFunction);
}

TEST(THashMap, StoreReplaceRemove) {
    int one = 1, two = 2;
    THashMap map(2053);
    EXPECT_EQ(map.GetValue(u"COM3"), nullptr);

    map.Remove(u"COM3"); // not present: nothing changes
    EXPECT_FALSE(map.Exists(u"COM3"));
    EXPECT_EQ(map.Count(), 0u);

    map.SetValue(u"COM3", &one);
    map.SetValue(u"COM3", &two);
    EXPECT_EQ(map.GetValue(u"COM3"), &two);
    EXPECT_EQ(map.Count(), 1u);

    EXPECT_FALSE(map.Exists(u"com3")); // keys are case-sensitive
    map.SetValue(u"com3", &one);
    EXPECT_EQ(map.GetValue(u"com3"), &one);
    EXPECT_EQ(map.GetValue(u"COM3"), &two);

    map.Remove(u"COM3");
    EXPECT_FALSE(map.Exists(u"COM3"));
    EXPECT_TRUE(map.Exists(u"com3"));
    map.SetValue(u"com3", nullptr); // storing none removes
    EXPECT_EQ(map.Count(), 0u);

    map.SetValue(u"gone", nullptr); // storing none under a missing key changes nothing
    EXPECT_EQ(map.Count(), 0u);
}

std::uint32_t SameHash(std::u16string_view) {
    return 7;
}

TEST(THashMap, CollidingKeysKeepTheirChain) {
    int v[4] = {};
    const std::u16string keys[] = {u"COM1", u"COM2", u"COM3", u"COM4"};
    for (int removed = 0; removed < 4; ++removed) {
        THashMap map(SameHash, 11);
        for (int i = 0; i < 4; ++i)
            map.SetValue(keys[i], &v[i]);
        map.Remove(keys[removed]);
        std::vector<std::u16string> order;
        map.ForEach([&](std::u16string_view k, void*) { order.emplace_back(k); });
        std::vector<std::u16string> expected;
        for (int i = 0; i < 4; ++i) {
            if (i == removed) {
                EXPECT_FALSE(map.Exists(keys[i]));
                continue;
            }
            EXPECT_EQ(map.GetValue(keys[i]), &v[i]) << "removed " << removed << ", key " << i;
            expected.push_back(keys[i]);
        }
        EXPECT_EQ(order, expected) << "chain keeps insertion order";
    }
}

TEST(THashMap, ClearKeepsBuckets) {
    int x = 0;
    THashMap map(5);
    for (int i = 0; i < 50; ++i)
        map.SetValue(Ascii("k" + std::to_string(i)), &x);
    map.Clear();
    EXPECT_EQ(map.Count(), 0u);
    EXPECT_EQ(map.BucketCount(), 5u);
    EXPECT_FALSE(map.Exists(u"k1"));
    map.SetValue(u"k1", &x);
    EXPECT_TRUE(map.Exists(u"k1"));
}

TEST(THashMap, NoBucketsAnswersNoneAndIgnoresStores) {
    int x = 0;
    for (int buckets : {0, -3}) {
        THashMap map(buckets);
        map.SetValue(u"COM3", &x);
        EXPECT_EQ(map.GetValue(u"COM3"), nullptr);
        EXPECT_FALSE(map.Exists(u"COM3"));
        map.Remove(u"COM3");
        EXPECT_EQ(map.Count(), 0u);
    }
}

struct Tracked : TObject {
    explicit Tracked(std::set<const Tracked*>& alive) : alive(alive) { alive.insert(this); }
    ~Tracked() override { alive.erase(this); }
    std::set<const Tracked*>& alive;
};

TEST(TObjectHashMap, DestroysOnlyWhereItShould) {
    std::set<const Tracked*> alive;
    auto* a = new Tracked(alive);
    auto* b = new Tracked(alive);
    {
        TObjectHashMap map(2053);
        EXPECT_FALSE(map.OwnsObjects());

        map.SetObject(u"COM3", a);
        map.SetObject(u"COM3", a); // the same object: kept
        EXPECT_TRUE(alive.count(a));
        EXPECT_EQ(map.GetObject(u"COM3"), a);

        map.SetObject(u"COM3", b); // replaced by a different object: the old one goes
        EXPECT_FALSE(alive.count(a));
        EXPECT_EQ(map.GetObject(u"COM3"), b);

        map.Remove(u"COM3"); // Remove never destroys
        EXPECT_TRUE(alive.count(b));

        map.SetObject(u"COM4", b);
        map.Clear(); // OwnsObjects false: values stay alive
        EXPECT_TRUE(alive.count(b));
        map.SetObject(u"COM4", b);
    } // destroyed with OwnsObjects false
    EXPECT_TRUE(alive.count(b));

    auto* c = new Tracked(alive);
    {
        TObjectHashMap map(3);
        map.SetObject(u"COM4", b);
        map.SetObject(u"COM5", b); // one object under two keys is destroyed once
        map.SetObject(u"COM6", c);
        map.SetOwnsObjects(true);
        map.Clear();
        EXPECT_TRUE(alive.empty());
        EXPECT_EQ(map.Count(), 0u);

        map.SetObject(u"COM7", new Tracked(alive));
        map.SetObject(u"COM8", new Tracked(alive));
        EXPECT_EQ(alive.size(), 2u);
    } // destroyed with OwnsObjects true
    EXPECT_TRUE(alive.empty());
}

TEST(TObjectHashMap, StoringNoneDestroysAndRemoves) {
    std::set<const Tracked*> alive;
    TObjectHashMap map(2053);
    map.SetObject(u"COM3", new Tracked(alive));
    map.SetObject(u"COM3", nullptr);
    EXPECT_TRUE(alive.empty());
    EXPECT_FALSE(map.Exists(u"COM3"));
}

} // namespace

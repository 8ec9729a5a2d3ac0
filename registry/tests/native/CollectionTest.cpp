#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "registry/Collection.h"
#include "registry/Errors.h"
#include "registry/tests/support/ErrorOf.h"

namespace gt3 {
namespace {

using test::ErrorOf;

TEST(Collection, KeepsInsertionOrderWithAndWithoutKeys) {
    Collection c;
    EXPECT_TRUE(c.empty());
    c.Add(L"zeta", L"zeta");
    c.Add(3);
    c.Add(L"alpha", L"alpha");
    ASSERT_EQ(c.Count(), 3u);
    EXPECT_EQ(c[0], Variant(L"zeta"));
    EXPECT_EQ(c[1], Variant(3));
    EXPECT_EQ(c[2], Variant(L"alpha"));
    EXPECT_FALSE(c.EntryAt(1).key.has_value());
    EXPECT_EQ(c.EntryAt(2).key, L"alpha");

    std::size_t n = 0;
    for (const auto& entry : c) EXPECT_EQ(entry.item, c[n++]);
    EXPECT_EQ(n, 3u);
}

TEST(Collection, KeysCompareWithoutRegardToCase) {
    Collection c;
    c.Add(1, L"Log");
    c.Add(2, L"\u00C9t\u00E9");         // Été
    c.Add(3, L"\u0160koda\u00FF");      // Škodaÿ (1252 extras)
    c.Add(4, L"");                      // the unnamed value's key

    const struct {
        const wchar_t* key;
        std::int32_t item;
    } lookups[] = {
        {L"LOG", 1}, {L"log", 1}, {L"\u00E9T\u00C9", 2}, {L"\u0161KODA\u0178", 3}, {L"", 4},
    };
    for (const auto& l : lookups) {
        EXPECT_TRUE(c.Contains(l.key)) << l.key;
        EXPECT_EQ(c.Item(l.key), Variant(l.item)) << l.key;
    }
    EXPECT_EQ(c.EntryAt(1).key, L"\u00C9t\u00E9");  // the key is kept as given
    EXPECT_FALSE(c.Contains(L"Lo"));
    EXPECT_FALSE(c.Contains(L"Ete"));  // folding does not strip accents
}

TEST(Collection, DuplicateKeyLeavesCollectionUnchanged) {
    Collection c;
    c.Add(L"first", L"Key");
    c.Add(L"other");
    for (const wchar_t* again : {L"Key", L"KEY", L"key"}) {
        EXPECT_EQ(ErrorOf([&] { c.Add(L"second", again); }), ErrorNumber::DuplicateKey);
        EXPECT_FALSE(c.TryAdd(L"second", again));
        ASSERT_EQ(c.Count(), 2u);
        EXPECT_EQ(c.Item(L"key"), Variant(L"first"));
        EXPECT_EQ(c.EntryAt(0).key, L"Key");
    }
    EXPECT_TRUE(c.TryAdd(L"third", L"Key2"));  // still usable afterwards
    EXPECT_EQ(c.Item(L"KEY2"), Variant(L"third"));
    EXPECT_EQ(c[2], Variant(L"third"));
}

TEST(Collection, MissingKeyAndBadIndexRaise) {
    Collection c;
    EXPECT_EQ(ErrorOf([&] { (void)c[0]; }), ErrorNumber::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { (void)c.Item(L"a"); }), ErrorNumber::InvalidProcedureCall);
    c.Add(1, L"a");
    EXPECT_EQ(ErrorOf([&] { (void)c.EntryAt(1); }), ErrorNumber::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { (void)c[static_cast<std::size_t>(-1)]; }), ErrorNumber::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { (void)c.Item(L"b"); }), ErrorNumber::InvalidProcedureCall);
}

// Keyed adds and lookups must take linear time. Per-item time at 100,000 items
// against that at 1,000: a quadratic path shows as a factor of about 100, while
// caches and allocator alone stay well under 15, also under sanitizers and Wine.
TEST(Collection, KeyedAddAndLookupScaleLinearly) {
    auto perItem = [](int n) {
        const auto start = std::chrono::steady_clock::now();
        Collection c;
        for (int i = 0; i < n; ++i) c.Add(i, L"account" + std::to_wstring(i) + L"@example.com");
        for (int i = 0; i < n; ++i)
            if (c.Item(L"ACCOUNT" + std::to_wstring(i) + L"@EXAMPLE.COM").AsLong() != i) ADD_FAILURE();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / n;
    };
    double small = 1e9;
    for (int round = 0; round < 10; ++round) small = std::min(small, perItem(1000));
    const double large = perItem(100000);
    EXPECT_LE(large, 15 * small) << "per item: " << small << " s at 1k, " << large << " s at 100k";
}

}  // namespace
}  // namespace gt3

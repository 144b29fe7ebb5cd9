#include "kernel/hash_table.h"

#include "tests/kernel/kernel_test_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace fssh {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::Eq;
using testing::ExitedWithCode;
using testing::UnorderedElementsAreArray;

// An element with two link fields, so that the table can be tried with its
// link first (as the block cache and the module registry use it) and further in.
struct element {
    element* front_link;
    uint32_t key;
    int id;
    element* inner_link;
};

int compare_key(void* item, const void* key)
{
    return static_cast<element*>(item)->key == *static_cast<const uint32_t*>(key) ? 0 : 1;
}

// The bucket is the key modulo the range, so tests choose which elements
// share a bucket.
uint32_t hash_key(void* item, const void* key, uint32_t range)
{
    uint32_t value = item != nullptr ? static_cast<element*>(item)->key
                                     : *static_cast<const uint32_t*>(key);
    return value % range;
}

std::vector<element> make_elements(const std::vector<uint32_t>& keys)
{
    std::vector<element> elements;
    for (size_t i = 0; i < keys.size(); i++)
        elements.push_back(element{nullptr, keys[i], static_cast<int>(i), nullptr});
    return elements;
}

class HashTable : public testing::TestWithParam<int32_t> {
protected:
    hash_table* create(uint32_t buckets)
    {
        table_ = hash_init(buckets, GetParam(), compare_key, hash_key);
        EXPECT_NE(table_, nullptr);
        return table_;
    }
    void insert_all(std::vector<element>& elements)
    {
        for (element& e : elements)
            ASSERT_EQ(hash_insert(table_, &e), FSSH_OK);
    }
    std::vector<int> iterate()
    {
        std::vector<int> ids;
        hash_iterator iterator;
        hash_open_iterator(table_, &iterator);
        while (void* item = hash_next(table_, &iterator))
            ids.push_back(static_cast<element*>(item)->id);
        hash_close_iterator(table_, &iterator, false);
        return ids;
    }
    void TearDown() override { hash_free_table(table_); }

    hash_table* table_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(LinkOffsets, HashTable,
                         testing::Values(static_cast<int32_t>(offsetof(element, front_link)),
                                         static_cast<int32_t>(offsetof(element, inner_link))));

TEST_P(HashTable, LookupFindsTheNewestMatchFirst)
{
    create(4);
    // Ids 0, 1 and 3 share bucket 1; ids 1 and 3 have the same key.
    std::vector<element> elements = make_elements({1, 5, 2, 5});
    insert_all(elements);
    EXPECT_EQ(hash_count(table_), 4u);

    uint32_t key = 5;
    EXPECT_EQ(hash_lookup(table_, &key), &elements[3]);
    key = 1;
    EXPECT_EQ(hash_lookup(table_, &key), &elements[0]);
    key = 9;
    EXPECT_EQ(hash_lookup(table_, &key), nullptr);

    EXPECT_EQ(hash_remove(table_, &elements[3]), FSSH_OK);
    key = 5;
    EXPECT_EQ(hash_lookup(table_, &key), &elements[1]);
    key = 1;
    EXPECT_EQ(hash_lookup(table_, &key), &elements[0]);
    EXPECT_EQ(hash_count(table_), 3u);
}

TEST_P(HashTable, RemoveFindsElementsByIdentity)
{
    create(4);
    std::vector<element> elements = make_elements({1, 5, 9});
    insert_all(elements);
    element twin{nullptr, 5, 99, nullptr};

    EXPECT_EQ(hash_find_element(table_, &twin), nullptr);
    EXPECT_EQ(hash_remove(table_, &twin), FSSH_ERROR);
    EXPECT_EQ(hash_count(table_), 3u);

    // The middle, the newest and the oldest of one chain.
    for (int id : {1, 2, 0}) {
        EXPECT_EQ(hash_find_element(table_, &elements[id]), &elements[id]);
        EXPECT_EQ(hash_remove(table_, &elements[id]), FSSH_OK);
        EXPECT_EQ(hash_find_element(table_, &elements[id]), nullptr);
        EXPECT_EQ(hash_remove(table_, &elements[id]), FSSH_ERROR);
    }
    EXPECT_EQ(hash_count(table_), 0u);
    EXPECT_THAT(iterate(), ElementsAre());
}

TEST_P(HashTable, IteratesBucketsInOrderNewestFirst)
{
    create(3);
    std::vector<element> elements = make_elements({4, 2, 3, 7, 6, 1});
    insert_all(elements);
    // Bucket 0: ids 4, 2; bucket 1: ids 5, 3, 0; bucket 2: id 1.
    EXPECT_THAT(iterate(), ElementsAre(4, 2, 5, 3, 0, 1));
}

TEST_P(HashTable, NextKeepsReturningNullAfterTheEnd)
{
    create(4);
    std::vector<element> elements = make_elements({1});
    insert_all(elements);
    hash_iterator* iterator = hash_open_iterator(table_, nullptr);
    ASSERT_NE(iterator, nullptr);
    EXPECT_EQ(iterator->current, nullptr);
    EXPECT_EQ(iterator->bucket, 0xFFFFFFFFu);
    EXPECT_EQ(hash_next(table_, iterator), &elements[0]);
    EXPECT_EQ(hash_next(table_, iterator), nullptr);
    EXPECT_EQ(hash_next(table_, iterator), nullptr);
    hash_rewind_iterator(table_, iterator);
    EXPECT_EQ(hash_next(table_, iterator), &elements[0]);
    hash_close_iterator(table_, iterator, true);
}

TEST_P(HashTable, RemovingEveryOtherElementWhileIteratingVisitsEachOnce)
{
    create(3);
    std::vector<element> elements = make_elements({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    insert_all(elements);
    std::vector<int> visited;
    std::vector<int> kept;
    hash_iterator iterator;
    hash_open_iterator(table_, &iterator);
    bool remove = true;
    while (void* item = hash_next(table_, &iterator)) {
        int id = static_cast<element*>(item)->id;
        visited.push_back(id);
        if (remove)
            hash_remove_current(table_, &iterator);
        else
            kept.push_back(id);
        remove = !remove;
    }
    EXPECT_THAT(visited, ElementsAre(9, 6, 3, 0, 10, 7, 4, 1, 8, 5, 2));
    EXPECT_THAT(kept, ElementsAre(6, 0, 7, 1, 5));
    EXPECT_EQ(hash_count(table_), kept.size());
    EXPECT_THAT(iterate(), ElementsAreArray(kept));
}

TEST_P(HashTable, RemovingEveryElementWhileIteratingEmptiesTheTable)
{
    create(2);
    std::vector<element> elements = make_elements({0, 1, 2, 3, 4});
    insert_all(elements);
    std::vector<int> visited;
    hash_iterator iterator;
    hash_open_iterator(table_, &iterator);
    while (void* item = hash_next(table_, &iterator)) {
        visited.push_back(static_cast<element*>(item)->id);
        hash_remove_current(table_, &iterator);
    }
    EXPECT_THAT(visited, ElementsAre(4, 2, 0, 3, 1));
    EXPECT_EQ(hash_count(table_), 0u);
    EXPECT_THAT(iterate(), ElementsAre());
}

// Random tables and random removal decisions, checked against a model of
// the chains: each bucket lists its elements newest first.
TEST_P(HashTable, RemovalDuringIterationMatchesAModel)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE(round);
        uint32_t buckets = 1 + random() % 8;
        size_t count = random() % 40;
        std::vector<uint32_t> keys;
        for (size_t i = 0; i < count; i++)
            keys.push_back(random() % 24);
        std::vector<element> elements = make_elements(keys);
        hash_table* table = hash_init(buckets, GetParam(), compare_key, hash_key);
        ASSERT_NE(table, nullptr);
        std::vector<std::vector<int>> model(buckets);
        for (element& e : elements) {
            hash_insert(table, &e);
            model[e.key % buckets].insert(model[e.key % buckets].begin(), e.id);
        }
        std::vector<int> expected_order;
        for (const std::vector<int>& chain : model)
            expected_order.insert(expected_order.end(), chain.begin(), chain.end());

        int removal_percent = static_cast<int>(random() % 101);
        std::vector<int> visited;
        std::vector<int> kept;
        hash_iterator iterator;
        hash_open_iterator(table, &iterator);
        while (void* item = hash_next(table, &iterator)) {
            int id = static_cast<element*>(item)->id;
            visited.push_back(id);
            if (static_cast<int>(random() % 100) < removal_percent) {
                hash_remove_current(table, &iterator);
            } else {
                kept.push_back(id);
            }
        }
        EXPECT_EQ(hash_next(table, &iterator), nullptr);
        EXPECT_EQ(visited, expected_order);
        EXPECT_EQ(hash_count(table), kept.size());

        std::vector<int> remaining;
        hash_open_iterator(table, &iterator);
        while (void* item = hash_next(table, &iterator))
            remaining.push_back(static_cast<element*>(item)->id);
        EXPECT_EQ(remaining, kept);
        for (element& e : elements) {
            bool is_kept = std::find(kept.begin(), kept.end(), e.id) != kept.end();
            EXPECT_EQ(hash_find_element(table, &e) != nullptr, is_kept) << "id " << e.id;
        }
        hash_free_table(table);
    }
}

TEST_P(HashTable, TakeFirstDrainsBucketByBucket)
{
    create(4);
    std::vector<element> elements = make_elements({2, 0, 4, 3});
    insert_all(elements);
    uint32_t cookie = 0;
    std::vector<std::pair<int, uint32_t>> taken;
    while (void* item = hash_take_first(table_, &cookie))
        taken.emplace_back(static_cast<element*>(item)->id, cookie);
    EXPECT_THAT(taken, ElementsAre(std::pair(2, 0u), std::pair(1, 0u), std::pair(0, 2u),
                                   std::pair(3, 3u)));
    EXPECT_EQ(hash_count(table_), 0u);
    EXPECT_EQ(hash_take_first(table_, &cookie), nullptr);
    cookie = 0;
    EXPECT_EQ(hash_take_first(table_, &cookie), nullptr);
    EXPECT_EQ(hash_take_first(table_, nullptr), nullptr);
}

TEST_P(HashTable, TakeFirstStartsAtTheCookiesBucket)
{
    create(4);
    std::vector<element> elements = make_elements({1, 3, 2});
    insert_all(elements);
    uint32_t cookie = 2;
    EXPECT_EQ(hash_take_first(table_, &cookie), &elements[2]);
    EXPECT_EQ(hash_take_first(table_, &cookie), &elements[1]);
    EXPECT_EQ(cookie, 3u);
    EXPECT_EQ(hash_take_first(table_, &cookie), nullptr);
    cookie = 4;
    EXPECT_EQ(hash_take_first(table_, &cookie), nullptr);
    EXPECT_EQ(hash_take_first(table_, nullptr), &elements[0]);
    EXPECT_EQ(hash_count(table_), 0u);
}

TEST_P(HashTable, RemoveCurrentWithoutACurrentElementPanics)
{
    create(1);
    std::vector<element> elements = make_elements({1, 2});
    insert_all(elements);
    hash_iterator iterator;
    hash_open_iterator(table_, &iterator);
    const std::string message = "hash_remove_current() called too early.";
    EXPECT_EXIT(hash_remove_current(table_, &iterator), ExitedWithCode(test::PANIC_STATUS),
                Eq(message));

    hash_next(table_, &iterator);
    hash_next(table_, &iterator);
    hash_remove_current(table_, &iterator);
    EXPECT_EXIT(hash_remove_current(table_, &iterator), ExitedWithCode(test::PANIC_STATUS),
                Eq(message));
    EXPECT_EQ(hash_count(table_), 1u);

    EXPECT_EQ(hash_next(table_, &iterator), nullptr);
    EXPECT_EXIT(hash_remove_current(table_, &iterator), ExitedWithCode(test::PANIC_STATUS),
                Eq(message));
}

TEST(HashTableInit, RefusesAMissingFunction)
{
    struct Case {
        hash_compare_function compare;
        hash_function hash;
    };
    for (Case c : {Case{nullptr, hash_key}, Case{compare_key, nullptr}, Case{nullptr, nullptr}}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(hash_init(16, 0, c.compare, c.hash), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "hash_init() called with NULL function pointer\n");
    }
}

struct StringHashCase {
    const char* text;
    uint32_t hash;
};

class StringHash : public testing::TestWithParam<StringHashCase> {};

TEST_P(StringHash, FoldsEachSignedByteIntoTheHash)
{
    EXPECT_EQ(hash_string(GetParam().text), GetParam().hash);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, StringHash,
    testing::Values(StringHashCase{"", 0}, StringHashCase{"abc", 0x6743},
                    // A byte above 0x7F is sign-extended before it is mixed in.
                    StringHashCase{"\xE9", 0xFFFFFFE9}, StringHashCase{"a\xE9" "b", 0xFFFF9F02},
                    // Long enough for the top bits to fold back in.
                    StringHashCase{"abcdefghij", 0x523079BA},
                    StringHashCase{"file_systems/wfs/v1", 0x9C95C1F1}));

}  // namespace
}  // namespace fssh

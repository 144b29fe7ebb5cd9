#include "kernel/item_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <algorithm>
#include <deque>
#include <random>
#include <vector>

namespace fssh {
namespace {

using testing::ElementsAre;

// The link is not the item's first field, so that every conversion between
// item and link has to apply the offset.
struct item {
    int id;
    list_link link;
};

constexpr int32_t LINK_OFFSET = offsetof(item, link);

std::vector<int> forward(item_list* list)
{
    std::vector<int> ids;
    for (void* i = item_list_next(list, nullptr); i != nullptr; i = item_list_next(list, i))
        ids.push_back(static_cast<item*>(i)->id);
    return ids;
}

std::vector<int> backward(item_list* list)
{
    std::vector<int> ids;
    for (void* i = item_list_prev(list, nullptr); i != nullptr; i = item_list_prev(list, i))
        ids.insert(ids.begin(), static_cast<item*>(i)->id);
    return ids;
}

class ItemList : public testing::Test {
protected:
    void SetUp() override
    {
        item_list_init_with_offset(&list_, LINK_OFFSET);
        for (int i = 0; i < 6; i++)
            items_[i].id = i;
    }
    void append(std::initializer_list<int> ids)
    {
        for (int id : ids)
            item_list_append(&list_, &items_[id]);
    }
    // Both directions must agree; returns the order.
    std::vector<int> order()
    {
        std::vector<int> ids = forward(&list_);
        EXPECT_EQ(backward(&list_), ids);
        return ids;
    }

    item_list list_;
    item items_[6];
};

TEST_F(ItemList, StartsEmpty)
{
    EXPECT_TRUE(item_list_is_empty(&list_));
    EXPECT_EQ(list_.link.next, &list_.link);
    EXPECT_EQ(list_.link.prev, &list_.link);
    EXPECT_EQ(item_list_next(&list_, nullptr), nullptr);
    EXPECT_EQ(item_list_last(&list_), nullptr);
    EXPECT_EQ(item_list_pop_front(&list_), nullptr);
    EXPECT_EQ(item_list_pop_back(&list_), nullptr);

    item_list plain;
    item_list_init(&plain);
    EXPECT_EQ(plain.link_offset, 0);
    EXPECT_TRUE(item_list_is_empty(&plain));
}

TEST_F(ItemList, AppendAndWalkInBothDirections)
{
    append({0, 1, 2});
    EXPECT_FALSE(item_list_is_empty(&list_));
    EXPECT_THAT(order(), ElementsAre(0, 1, 2));
    EXPECT_EQ(item_list_last(&list_), &items_[2]);
    EXPECT_EQ(item_list_next(&list_, &items_[2]), nullptr);
    EXPECT_EQ(item_list_prev(&list_, &items_[0]), nullptr);
}

TEST_F(ItemList, PushLinksAtEitherEnd)
{
    item_list_push_link_back(&list_, &items_[1].link);
    item_list_push_link_front(&list_, &items_[0].link);
    item_list_push_link_back(&list_, &items_[2].link);
    EXPECT_THAT(order(), ElementsAre(0, 1, 2));
}

TEST_F(ItemList, InsertBeforeAnItemOrAtTheTail)
{
    append({1, 3});
    item_list_insert_before(&list_, &items_[1], &items_[0]);
    item_list_insert_before(&list_, &items_[3], &items_[2]);
    item_list_insert_before(&list_, nullptr, &items_[4]);
    EXPECT_THAT(order(), ElementsAre(0, 1, 2, 3, 4));
}

TEST_F(ItemList, RemoveAndPopSpliceItemsOut)
{
    append({0, 1, 2, 3, 4});
    item_list_remove(&list_, &items_[2]);
    EXPECT_THAT(order(), ElementsAre(0, 1, 3, 4));
    EXPECT_EQ(item_list_pop_front(&list_), &items_[0]);
    EXPECT_EQ(item_list_pop_back(&list_), &items_[4]);
    EXPECT_THAT(order(), ElementsAre(1, 3));
    EXPECT_EQ(item_list_pop_back(&list_), &items_[3]);
    EXPECT_EQ(item_list_pop_back(&list_), &items_[1]);
    EXPECT_TRUE(item_list_is_empty(&list_));
}

TEST_F(ItemList, UnlinkLeavesTheLinksOwnPointers)
{
    append({0, 1, 2});
    item_list_unlink(&items_[1].link);
    EXPECT_EQ(items_[1].link.next, &items_[2].link);
    EXPECT_EQ(items_[1].link.prev, &items_[0].link);
    EXPECT_THAT(order(), ElementsAre(0, 2));
}

TEST_F(ItemList, NextOfAnItemWithANullLinkIsNull)
{
    items_[5].link = list_link{nullptr, nullptr};
    EXPECT_EQ(item_list_next(&list_, &items_[5]), nullptr);
    EXPECT_EQ(item_list_prev(&list_, &items_[5]), nullptr);
}

TEST_F(ItemList, MoveHandsEveryItemToTheTarget)
{
    append({0, 1, 2});
    item_list target;
    item_list_init(&target);
    item_list_push_link_back(&target, &items_[5].link);  // dropped by the move

    item_list_move(&list_, &target);
    EXPECT_TRUE(item_list_is_empty(&list_));
    EXPECT_THAT(order(), ElementsAre());
    EXPECT_EQ(target.link_offset, LINK_OFFSET);
    EXPECT_EQ(items_[0].link.prev, &target.link);
    EXPECT_EQ(items_[2].link.next, &target.link);
    EXPECT_THAT(forward(&target), ElementsAre(0, 1, 2));
    EXPECT_THAT(backward(&target), ElementsAre(0, 1, 2));

    // The source stays usable.
    append({3});
    EXPECT_THAT(order(), ElementsAre(3));
}

TEST_F(ItemList, MoveFromAnEmptyListClearsTheTarget)
{
    item_list target;
    item_list_init_with_offset(&target, LINK_OFFSET);
    item_list_append(&target, &items_[4]);
    item_list_move(&list_, &target);
    EXPECT_TRUE(item_list_is_empty(&target));
    EXPECT_EQ(item_list_next(&target, nullptr), nullptr);
    EXPECT_EQ(item_list_last(&target), nullptr);
    EXPECT_TRUE(item_list_is_empty(&list_));
}

// Random operations against a double-ended queue of ids.
TEST(ItemListModel, MatchesADequeUnderRandomOperations)
{
    constexpr int ITEMS = 24;
    std::mt19937 random(77);
    item items[ITEMS];
    bool in_list[ITEMS] = {};
    for (int i = 0; i < ITEMS; i++)
        items[i].id = i;
    item_list list;
    item_list_init_with_offset(&list, LINK_OFFSET);
    std::deque<int> model;

    for (int step = 0; step < 5000; step++) {
        SCOPED_TRACE(step);
        int id = static_cast<int>(random() % ITEMS);
        switch (random() % 5) {
        case 0:
            if (in_list[id])
                break;
            item_list_append(&list, &items[id]);
            model.push_back(id);
            in_list[id] = true;
            break;
        case 1: {
            if (in_list[id])
                break;
            void* before = model.empty() || random() % 4 == 0
                               ? nullptr
                               : &items[model[random() % model.size()]];
            item_list_insert_before(&list, before, &items[id]);
            auto position = before == nullptr
                                ? model.end()
                                : std::find(model.begin(), model.end(),
                                            static_cast<item*>(before)->id);
            model.insert(position, id);
            in_list[id] = true;
            break;
        }
        case 2:
            if (!in_list[id])
                break;
            item_list_remove(&list, &items[id]);
            model.erase(std::find(model.begin(), model.end(), id));
            in_list[id] = false;
            break;
        case 3: {
            void* popped = item_list_pop_front(&list);
            ASSERT_EQ(popped == nullptr, model.empty());
            if (popped == nullptr)
                break;
            EXPECT_EQ(static_cast<item*>(popped)->id, model.front());
            in_list[model.front()] = false;
            model.pop_front();
            break;
        }
        default: {
            void* popped = item_list_pop_back(&list);
            ASSERT_EQ(popped == nullptr, model.empty());
            if (popped == nullptr)
                break;
            EXPECT_EQ(static_cast<item*>(popped)->id, model.back());
            in_list[model.back()] = false;
            model.pop_back();
            break;
        }
        }
        std::vector<int> expected(model.begin(), model.end());
        ASSERT_EQ(forward(&list), expected);
        ASSERT_EQ(backward(&list), expected);
    }
}

}  // namespace
}  // namespace fssh

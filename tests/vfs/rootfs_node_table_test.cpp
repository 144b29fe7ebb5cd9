// The root file system's node table against a simple model, with a fixed seed.

#include "vfs/rootfs/rootfs_node.h"
#include "vfs/rootfs/rootfs_node_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <random>

namespace rootfs_test {
namespace {

using namespace fssh;

bool is_power_of_two(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

TEST(RootfsNodeTableTest, RandomInsertionsAndRemovalsMatchAModel)
{
    rootfs_node_table table;
    ASSERT_EQ(rootfs_node_table_init(&table, 16), FSSH_OK);
    std::map<fssh::ino_t, std::unique_ptr<rootfs_node>> model;
    std::mt19937_64 random(20240611);
    fssh::ino_t next_id = 1;

    for (int step = 0; step < 20000; step++) {
        // Phases that fill the table up and drain it again, so that it grows
        // and shrinks several times.
        bool filling = (step / 2500) % 2 == 0;
        bool insert = model.empty() || random() % 100 < (filling ? 70u : 30u);
        uint32_t buckets_before = table.bucket_count;
        if (insert) {
            auto node = std::make_unique<rootfs_node>();
            // Ids are mostly increasing, with some far apart.
            node->id = random() % 10 == 0 ? static_cast<fssh::ino_t>(random() >> 8) : next_id++;
            if (model.count(node->id) != 0)
                continue;
            ASSERT_EQ(rootfs_node_table_insert(&table, node.get()), FSSH_OK);
            uint32_t before = table.node_count - 1;
            EXPECT_EQ(table.bucket_count,
                      before >= buckets_before * 200 / 256 ? buckets_before * 2 : buckets_before);
            model[node->id] = std::move(node);
        } else {
            auto it = model.begin();
            std::advance(it, random() % model.size());
            rootfs_node_table_remove(&table, it->second.get());
            model.erase(it);
            bool shrinks = buckets_before > 8 && table.node_count < buckets_before * 50 / 256;
            EXPECT_EQ(table.bucket_count, shrinks ? buckets_before / 2 : buckets_before);
        }
        ASSERT_EQ(table.node_count, model.size());
        ASSERT_TRUE(is_power_of_two(table.bucket_count));
        ASSERT_GE(table.bucket_count, 8u);
        if (step % 97 == 0) {
            for (const auto& [id, node] : model)
                ASSERT_EQ(rootfs_node_table_find(&table, id), node.get()) << id;
            EXPECT_EQ(rootfs_node_table_find(&table, next_id), nullptr);
        }
    }

    while (rootfs_node* node = rootfs_node_table_take_any(&table))
        ASSERT_EQ(model.erase(node->id), 1u);
    EXPECT_TRUE(model.empty());
    EXPECT_EQ(table.node_count, 0u);
    rootfs_node_table_destroy(&table);
}

}  // namespace
}  // namespace rootfs_test

#pragma once

// An in-memory file system module of the tests' own ("file_systems/testfs/v1",
// short name "testfs"), so that the layer's contract can be checked
// independently of any real file system. Every volume counts the hook calls
// it receives, can be told to fail a hook with a given status, and can be
// told to break the layer's contract in a few specific ways.
//
// Mount arguments (comma separated): "minimal" mounts a volume whose nodes
// use a hook table with most slots empty (and a volume table with only
// unmount and get_vnode), "fail_mount" makes the mount hook fail with
// FSSH_IO_ERROR, "no_root" makes it succeed without publishing the root.

#include "kernel/kernel_stat.h"
#include "kernel/status.h"
#include "vfs/fs_interface.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vfs_test {

using fssh::dev_t;
using fssh::ino_t;
using fssh::off_t;
using fssh::status_code;

struct TestNode {
    ino_t id = 0;
    uint32_t mode = 0;
    TestNode* parent = nullptr;
    std::map<std::string, TestNode*> children;  // sorted by name
    std::string link_target;
    std::string data;
    std::map<std::string, std::string> attributes;
    uint32_t user_id = 0;
    uint32_t group_id = 0;
    int link_count = 1;
};

struct TestVolume {
    fssh::fs_volume* volume = nullptr;
    bool minimal = false;
    std::map<ino_t, std::unique_ptr<TestNode>> nodes;
    ino_t next_id = 1;
    TestNode* root = nullptr;
    std::string volume_name = "test volume";

    // Hook name -> number of calls, and per node for the vnode life cycle.
    std::map<std::string, int> calls;
    std::map<ino_t, int> get_vnode_calls;
    std::map<ino_t, int> put_vnode_calls;
    std::map<ino_t, int> remove_vnode_calls;
    std::map<ino_t, int> fsync_calls;
    std::vector<bool> put_vnode_reenter;  // reenter flag of every put/remove_vnode
    std::vector<uint32_t> access_modes;   // mode of every access call
    uint32_t last_set_flags = 0;

    // Hook name -> status the hook returns instead of doing its work.
    std::map<std::string, status_code> failures;
    // Contract breaches on request.
    bool get_vnode_leaves_node_null = false;
    bool create_skips_get_vnode = false;
    bool lookup_skips_get_vnode = false;

    int Calls(const std::string& hook) const;
    TestNode* Find(ino_t id) const;
    // The node at a slash-separated path below the volume's root, or null.
    TestNode* FindPath(const std::string& path) const;
    TestNode* AddNode(TestNode* parent, const std::string& name, uint32_t mode);
};

// Registers the module once per process.
void register_test_fs();

// The test volume with this mount id, or null.
TestVolume* test_volume(fssh::dev_t id);

// The test volume that had this mount id, after its unmount; null before.
TestVolume* unmounted_test_volume(fssh::dev_t id);

}  // namespace vfs_test

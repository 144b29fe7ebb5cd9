#include "kernel/module.h"

#include "kernel/hash_table.h"
#include "kernel/semaphore.h"
#include "tests/kernel/kernel_test_helpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fssh {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// What the listing shows of one entry.
struct listed_entry {
    int offset;
    int reference_count;
    int state;
};

// The registry is global to the process: it is created once, and every test
// registers modules under names of its own.
class ModuleRegistry : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static const status_code init_status = module_init();
        ASSERT_EQ(init_status, FSSH_OK);
    }

    void SetUp() override
    {
        for (auto& script : scripts())
            script = script_entry{};
    }

    // One std_ops hook per slot, each running the test's script for it.
    struct script_entry {
        std::function<status_code(int32_t)> hook = [](int32_t) { return FSSH_OK; };
        std::vector<int32_t> calls;
    };
    static std::vector<script_entry>& scripts()
    {
        static std::vector<script_entry> entries(3);
        return entries;
    }
    template <int Slot>
    static status_code scripted_std_ops(int32_t operation)
    {
        scripts()[Slot].calls.push_back(operation);
        return scripts()[Slot].hook(operation);
    }

    std::string unique_name(const char* suffix = "")
    {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        return std::string("tests/") + test->name() + suffix;
    }

    // The entry of that name in the listing; its file must be empty.
    static std::optional<listed_entry> listed(const std::string& name)
    {
        testing::internal::CaptureStdout();
        EXPECT_EQ(list_modules(0, nullptr), 0);
        std::istringstream lines(testing::internal::GetCapturedStdout());
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, "-- known modules:");
        std::string start = ": \"" + name + "\", \"\" (";
        while (std::getline(lines, line)) {
            size_t at = line.find(start);
            if (at == std::string::npos)
                continue;
            listed_entry entry;
            EXPECT_EQ(sscanf(line.c_str() + at + start.size(), "%d), refcount = %d, state = %d",
                             &entry.offset, &entry.reference_count, &entry.state),
                      3)
                << line;
            return entry;
        }
        return std::nullopt;
    }

    static std::pair<int, int> references_and_state(const std::string& name)
    {
        std::optional<listed_entry> entry = listed(name);
        EXPECT_TRUE(entry.has_value()) << name;
        return entry ? std::pair(entry->reference_count, entry->state) : std::pair(-99, -99);
    }
};

// A module record whose name and hook the test chooses.
struct test_module {
    std::string name;
    module_info info;

    test_module(std::string module_name, status_code (*std_ops)(int32_t), uint32_t flags = 0)
        : name(std::move(module_name)), info{name.c_str(), flags, std_ops}
    {
    }
};

std::string captured(const std::function<void()>& action)
{
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

TEST_F(ModuleRegistry, RegistrationMarksTheModuleBuiltInAndListsItUntouched)
{
    test_module module(unique_name(), scripted_std_ops<0>, MODULE_KEEP_LOADED);
    EXPECT_EQ(captured([&] { register_builtin_module(&module.info); }), "");
    EXPECT_EQ(module.info.flags, MODULE_KEEP_LOADED | MODULE_BUILT_IN);
    std::optional<listed_entry> entry = listed(module.name);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->offset, -1);
    EXPECT_EQ(entry->reference_count, 0);
    EXPECT_EQ(entry->state, 0);
    EXPECT_THAT(scripts()[0].calls, IsEmpty());
}

TEST_F(ModuleRegistry, ListingShowsEntriesInTableOrder)
{
    // Names in three different buckets, registered out of bucket order.
    std::vector<std::string> names;
    for (int i = 0; names.size() < 3; i++) {
        std::string name = unique_name(("/" + std::to_string(i)).c_str());
        bool bucket_taken = false;
        for (const std::string& other : names)
            bucket_taken |= hash_string(other.c_str()) % 16 == hash_string(name.c_str()) % 16;
        if (!bucket_taken)
            names.push_back(name);
    }
    std::vector<test_module> modules;
    modules.reserve(names.size());
    for (const std::string& name : names) {
        modules.emplace_back(name, scripted_std_ops<0>);
        register_builtin_module(&modules.back().info);
    }
    std::string listing = captured([] { list_modules(0, nullptr); });
    std::vector<std::pair<uint32_t, size_t>> buckets_by_position;
    for (const std::string& name : names) {
        size_t position = listing.find("\"" + name + "\"");
        ASSERT_NE(position, std::string::npos);
        buckets_by_position.emplace_back(hash_string(name.c_str()) % 16, position);
    }
    std::sort(buckets_by_position.begin(), buckets_by_position.end());
    for (size_t i = 1; i < buckets_by_position.size(); i++)
        EXPECT_LT(buckets_by_position[i - 1].second, buckets_by_position[i].second);

    char expected[256];
    snprintf(expected, sizeof(expected), ": \"%s\", \"\" (-1), refcount = 0, state = 0\n",
             names[0].c_str());
    EXPECT_NE(listing.find(expected), std::string::npos) << listing;
}

TEST_F(ModuleRegistry, DuplicateNameKeepsTheFirstRegistration)
{
    test_module first(unique_name(), scripted_std_ops<0>);
    test_module second(unique_name(), scripted_std_ops<1>);
    register_builtin_module(&first.info);
    std::string output = captured([&] { register_builtin_module(&second.info); });
    EXPECT_EQ(output, "Duplicate module name (" + second.name +
                          ") detected... ignoring new one\ncreation of built-in module \"" +
                          second.name + "\" failed!\n");
    EXPECT_EQ(second.info.flags, MODULE_BUILT_IN);

    module_info* got = nullptr;
    EXPECT_EQ(get_module(second.name.c_str(), &got), FSSH_OK);
    EXPECT_EQ(got, &first.info);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT));
    EXPECT_THAT(scripts()[1].calls, IsEmpty());
    EXPECT_EQ(put_module(second.name.c_str()), FSSH_OK);
}

TEST_F(ModuleRegistry, ARecordWithoutANameIsNotRegistered)
{
    module_info nameless{nullptr, 0, scripted_std_ops<0>};
    EXPECT_EQ(captured([&] { register_builtin_module(&nameless); }),
              "creation of built-in module \"(null)\" failed!\n");
    EXPECT_EQ(nameless.flags, MODULE_BUILT_IN);
}

TEST_F(ModuleRegistry, UnknownAndMissingNamesAreRefused)
{
    module_info* got = nullptr;
    EXPECT_EQ(get_module("tests/no such module", &got), FSSH_NOT_FOUND);
    EXPECT_EQ(get_module(nullptr, &got), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(put_module(nullptr), FSSH_INVALID_ARGUMENT);
    status_code status = FSSH_OK;
    EXPECT_EQ(captured([&] { status = put_module("tests/no such module"); }),
              "module: We don't seem to have a reference to module tests/no such module\n");
    EXPECT_EQ(status, FSSH_INVALID_ARGUMENT);
}

TEST_F(ModuleRegistry, FirstReferenceInitialisesAndLastUninitialises)
{
    test_module module(unique_name(), scripted_std_ops<0>);
    register_builtin_module(&module.info);
    const char* name = module.name.c_str();
    module_info* got = nullptr;

    EXPECT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_EQ(got, &module.info);
    EXPECT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT));
    EXPECT_EQ(references_and_state(name), std::pair(2, 3));

    EXPECT_EQ(put_module(name), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT));
    EXPECT_EQ(references_and_state(name), std::pair(1, 3));
    EXPECT_EQ(put_module(name), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT, MODULE_UNINIT));
    EXPECT_EQ(references_and_state(name), std::pair(0, 1));

    EXPECT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT, MODULE_UNINIT, MODULE_INIT));
    EXPECT_EQ(references_and_state(name), std::pair(1, 3));
    EXPECT_EQ(put_module(name), FSSH_OK);
}

TEST_F(ModuleRegistry, FailedInitialisationIsRetriedByTheNextGet)
{
    test_module module(unique_name(), scripted_std_ops<0>);
    register_builtin_module(&module.info);
    const char* name = module.name.c_str();
    scripts()[0].hook = [](int32_t) { return FSSH_NO_MEMORY; };

    module_info* got = nullptr;
    EXPECT_EQ(get_module(name, &got), FSSH_NO_MEMORY);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(references_and_state(name), std::pair(0, 1));

    scripts()[0].hook = [](int32_t) { return FSSH_OK; };
    EXPECT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_EQ(got, &module.info);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT, MODULE_INIT));
    EXPECT_EQ(references_and_state(name), std::pair(1, 3));
    EXPECT_EQ(put_module(name), FSSH_OK);
}

TEST_F(ModuleRegistry, PositiveInitialisationResultReadiesTheModuleWithoutAReference)
{
    test_module module(unique_name(), scripted_std_ops<0>);
    register_builtin_module(&module.info);
    const char* name = module.name.c_str();
    scripts()[0].hook = [](int32_t) { return 5; };

    module_info* got = nullptr;
    EXPECT_EQ(get_module(name, &got), 5);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(references_and_state(name), std::pair(0, 3));
    EXPECT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT));
    EXPECT_EQ(references_and_state(name), std::pair(1, 3));
    EXPECT_EQ(put_module(name), FSSH_OK);
}

TEST_F(ModuleRegistry, FailedUninitialisationRefusesEveryLaterGet)
{
    test_module module(unique_name(), scripted_std_ops<0>);
    register_builtin_module(&module.info);
    const char* name = module.name.c_str();
    scripts()[0].hook = [](int32_t operation) {
        return operation == MODULE_UNINIT ? FSSH_BUSY : FSSH_OK;
    };
    module_info* got = nullptr;
    ASSERT_EQ(get_module(name, &got), FSSH_OK);

    status_code status = FSSH_ERROR;
    EXPECT_EQ(captured([&] { status = put_module(name); }),
              "Error unloading module " + module.name + " (" + status_text(FSSH_BUSY) + ")\n");
    EXPECT_EQ(status, FSSH_OK);
    EXPECT_EQ(references_and_state(name), std::pair(0, 5));

    for (int attempt = 0; attempt < 2; attempt++) {
        got = nullptr;
        EXPECT_EQ(captured([&] { status = get_module(name, &got); }),
                  "cannot load module " + module.name +
                      " because its earlier unloading failed\n");
        EXPECT_EQ(status, FSSH_ERROR);
        EXPECT_EQ(got, nullptr);
    }
    // Kept loaded from now on: a put neither counts nor uninitialises.
    EXPECT_EQ(put_module(name), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT, MODULE_UNINIT));
    EXPECT_EQ(references_and_state(name), std::pair(0, 5));
}

TEST_F(ModuleRegistry, KeptLoadedModuleIsNeverUninitialised)
{
    test_module module(unique_name(), scripted_std_ops<0>, MODULE_KEEP_LOADED);
    register_builtin_module(&module.info);
    const char* name = module.name.c_str();
    module_info* got = nullptr;
    ASSERT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_EQ(put_module(name), FSSH_OK);
    EXPECT_EQ(put_module(name), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT));
    EXPECT_EQ(references_and_state(name), std::pair(1, 3));
}

TEST_F(ModuleRegistry, PutWithoutAReferenceIsRefusedAndKeepsTheCount)
{
    test_module module(unique_name(), scripted_std_ops<0>);
    register_builtin_module(&module.info);
    const char* name = module.name.c_str();
    status_code status = FSSH_OK;
    EXPECT_EQ(captured([&] { status = put_module(name); }),
              "module: We don't seem to have a reference to module " + module.name + "\n");
    EXPECT_EQ(status, FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(references_and_state(name), std::pair(0, 0));

    module_info* got = nullptr;
    EXPECT_EQ(get_module(name, &got), FSSH_OK);
    EXPECT_THAT(scripts()[0].calls, ElementsAre(MODULE_INIT));
    EXPECT_EQ(put_module(name), FSSH_OK);
    EXPECT_EQ(put_module(name), FSSH_INVALID_ARGUMENT);
    EXPECT_EQ(references_and_state(name), std::pair(0, 1));
}

// A module's own hook cannot take a reference on it, neither while it is
// initialised nor while it is uninitialised.
TEST_F(ModuleRegistry, GetFromTheModulesOwnHookIsRefused)
{
    static std::string name;
    name = unique_name();
    test_module module(name, scripted_std_ops<0>);
    register_builtin_module(&module.info);
    static std::vector<std::pair<status_code, std::string>> inner_gets;
    inner_gets.clear();
    scripts()[0].hook = [](int32_t) {
        module_info* got = nullptr;
        status_code status = FSSH_OK;
        std::string output = captured([&] { status = get_module(name.c_str(), &got); });
        inner_gets.emplace_back(status, output);
        return FSSH_OK;
    };

    module_info* got = nullptr;
    ASSERT_EQ(get_module(name.c_str(), &got), FSSH_OK);
    EXPECT_EQ(references_and_state(name), std::pair(1, 3));
    EXPECT_EQ(put_module(name.c_str()), FSSH_OK);
    EXPECT_EQ(references_and_state(name), std::pair(0, 1));
    EXPECT_THAT(inner_gets,
                ElementsAre(std::pair(FSSH_ERROR, "circular reference to " + name + "\n"),
                            std::pair(FSSH_ERROR, "tried to load module " + name +
                                                      " which is currently unloading\n")));
}

// Initialisation may take references on other modules: the registry's lock is
// recursive, and it is held while the hook runs.
TEST_F(ModuleRegistry, InitialisationMayReferenceAnotherModuleUnderTheLock)
{
    static std::string dependency_name;
    dependency_name = unique_name("/dependency");
    test_module dependency(dependency_name, scripted_std_ops<1>);
    test_module module(unique_name(), scripted_std_ops<0>);
    register_builtin_module(&dependency.info);
    register_builtin_module(&module.info);

    static semaphore_id registry_lock;
    registry_lock = -1;
    semaphore_info info;
    for (int32_t cookie = 0; sem_get_next_info(0, &cookie, &info) == FSSH_OK;) {
        if (std::string(info.name) == "modules rlock")
            registry_lock = info.sem;
    }
    ASSERT_GE(registry_lock, 0);
    EXPECT_EQ(test::semaphore_count(registry_lock), 1);

    static std::vector<int32_t> lock_counts;
    lock_counts.clear();
    scripts()[0].hook = [](int32_t operation) {
        lock_counts.push_back(test::semaphore_count(registry_lock));
        module_info* got = nullptr;
        return operation == MODULE_INIT ? get_module(dependency_name.c_str(), &got)
                                        : put_module(dependency_name.c_str());
    };
    scripts()[1].hook = [](int32_t) {
        lock_counts.push_back(test::semaphore_count(registry_lock));
        return FSSH_OK;
    };

    module_info* got = nullptr;
    ASSERT_EQ(get_module(module.name.c_str(), &got), FSSH_OK);
    EXPECT_EQ(references_and_state(dependency_name), std::pair(1, 3));
    EXPECT_EQ(put_module(module.name.c_str()), FSSH_OK);
    EXPECT_EQ(references_and_state(dependency_name), std::pair(0, 1));
    EXPECT_THAT(scripts()[1].calls, ElementsAre(MODULE_INIT, MODULE_UNINIT));
    EXPECT_THAT(lock_counts, ElementsAre(0, 0, 0, 0));
    EXPECT_EQ(test::semaphore_count(registry_lock), 1);
}

TEST_F(ModuleRegistry, ModuleWithoutAHookNeedsNoInitialisation)
{
    test_module module(unique_name(), nullptr);
    register_builtin_module(&module.info);
    module_info* got = nullptr;
    EXPECT_EQ(get_module(module.name.c_str(), &got), FSSH_OK);
    EXPECT_EQ(got, &module.info);
    EXPECT_EQ(put_module(module.name.c_str()), FSSH_OK);
    EXPECT_EQ(references_and_state(module.name), std::pair(0, 1));
}

}  // namespace
}  // namespace fssh

#include "kernel/atomic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace fssh {
namespace {

// The operations of one width, so that both widths run the same cases.
template <typename Integer>
struct AtomicOperations;

template <>
struct AtomicOperations<int32_t> {
    static constexpr auto store = atomic_store32;
    static constexpr auto exchange = atomic_exchange32;
    static constexpr auto compare_exchange = atomic_compare_exchange32;
    static constexpr auto fetch_add = atomic_fetch_add32;
    static constexpr auto fetch_and = atomic_fetch_and32;
    static constexpr auto fetch_or = atomic_fetch_or32;
    static constexpr auto load = atomic_load32;
};

template <>
struct AtomicOperations<int64_t> {
    static constexpr auto store = atomic_store64;
    static constexpr auto exchange = atomic_exchange64;
    static constexpr auto compare_exchange = atomic_compare_exchange64;
    static constexpr auto fetch_add = atomic_fetch_add64;
    static constexpr auto fetch_and = atomic_fetch_and64;
    static constexpr auto fetch_or = atomic_fetch_or64;
    static constexpr auto load = atomic_load64;
};

template <typename Integer>
class Atomic : public testing::Test {
protected:
    using Ops = AtomicOperations<Integer>;
    // A value that uses the upper half of the type, to catch truncation.
    static constexpr Integer HIGH = std::numeric_limits<Integer>::max() / 3;
    Integer value_ = HIGH;
};

using Widths = testing::Types<int32_t, int64_t>;
TYPED_TEST_SUITE(Atomic, Widths);

TYPED_TEST(Atomic, LoadAndStoreAreExact)
{
    using Ops = typename TestFixture::Ops;
    EXPECT_EQ(Ops::load(&this->value_), this->HIGH);
    Ops::store(&this->value_, -this->HIGH);
    EXPECT_EQ(this->value_, -this->HIGH);
}

TYPED_TEST(Atomic, ReadModifyWriteReturnsTheValueBefore)
{
    using Ops = typename TestFixture::Ops;
    TypeParam h = this->HIGH;

    EXPECT_EQ(Ops::exchange(&this->value_, 7), h);
    EXPECT_EQ(this->value_, 7);

    EXPECT_EQ(Ops::fetch_add(&this->value_, h), 7);
    EXPECT_EQ(this->value_, h + 7);
    EXPECT_EQ(Ops::fetch_add(&this->value_, -h), h + 7);
    EXPECT_EQ(this->value_, 7);

    this->value_ = 0b1100;
    EXPECT_EQ(Ops::fetch_and(&this->value_, 0b1010), 0b1100);
    EXPECT_EQ(this->value_, 0b1000);
    EXPECT_EQ(Ops::fetch_or(&this->value_, h), 0b1000);
    EXPECT_EQ(this->value_, h | 0b1000);
}

TYPED_TEST(Atomic, FetchAddWrapsAround)
{
    using Ops = typename TestFixture::Ops;
    this->value_ = std::numeric_limits<TypeParam>::max();
    EXPECT_EQ(Ops::fetch_add(&this->value_, 1), std::numeric_limits<TypeParam>::max());
    EXPECT_EQ(this->value_, std::numeric_limits<TypeParam>::min());
}

TYPED_TEST(Atomic, CompareExchangeStoresOnlyOnAMatch)
{
    using Ops = typename TestFixture::Ops;
    TypeParam h = this->HIGH;
    EXPECT_EQ(Ops::compare_exchange(&this->value_, 5, h - 1), h);
    EXPECT_EQ(this->value_, h);
    EXPECT_EQ(Ops::compare_exchange(&this->value_, 5, h), h);
    EXPECT_EQ(this->value_, 5);
}

}  // namespace
}  // namespace fssh

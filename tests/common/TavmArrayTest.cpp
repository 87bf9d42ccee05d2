#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <random>
#include <vector>

#include "filter/common/TavmArray.h"

// Allocation failure is injected through the non-throwing operator new, the only
// form the array uses: g_nothrowLeft counts the allocations that still succeed.
namespace {
std::atomic<int> g_nothrowLeft{-1};  // -1: never fail
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    int left = g_nothrowLeft.load();
    if (left == 0)
        return nullptr;
    if (left > 0)
        g_nothrowLeft.store(left - 1);
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

struct FailAfter {
    explicit FailAfter(int allowed) { g_nothrowLeft.store(allowed); }
    ~FailAfter() { g_nothrowLeft.store(-1); }
};

typedef CTavmArray<int> IntArray;

std::vector<int> Contents(IntArray& a)
{
    std::vector<int> out;
    for (int k = 0; k < a.GetSize(); ++k)
        out.push_back(a.GetAt(uint32_t(k)));
    return out;
}

std::vector<int> BlockUse(const IntArray& a)
{
    std::vector<int> out;
    for (const IntArray::Block* b = a.GetFirstBlock(); b; b = b->pNext)
        out.push_back(b->nUsed);
    return out;
}

// Every structural promise of the chain, checked from the outside.
void ExpectConsistent(const IntArray& a)
{
    const IntArray::Block* prev = nullptr;
    int64_t sum = 0, slots = 0, cursorBase = -1;
    bool cursorFound = false;
    for (const IntArray::Block* b = a.GetFirstBlock(); b; prev = b, b = b->pNext) {
        ASSERT_EQ(b->pPrev, prev);
        ASSERT_LE(b->nUsed, a.GetBlockSize());
        if (b->pNext) {
            ASSERT_GT(b->nUsed, 0) << "only the last block may be empty";
        }
        if (b == a.GetCursorBlock()) {
            cursorFound = true;
            cursorBase = sum;
        }
        sum += b->nUsed;
        slots += a.GetBlockSize();
    }
    ASSERT_EQ(a.GetLastBlock(), prev);
    ASSERT_EQ(sum, a.GetSize());
    ASSERT_EQ(slots - sum, int64_t(a.GetSpare()));
    if (a.GetFirstBlock()) {
        ASSERT_TRUE(cursorFound);
        ASSERT_EQ(cursorBase, a.GetCursorBase());
    } else {
        ASSERT_EQ(a.GetCursorBlock(), nullptr);
        ASSERT_EQ(a.GetCursorBase(), -1);
    }
}

TEST(TavmArray, SixAddsMakeTwoBlocksAndTheCursorFollowsReads)
{
    IntArray a(5);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(a.Add(100 + k), k);
    EXPECT_EQ(BlockUse(a), (std::vector<int>{5, 1}));
    EXPECT_EQ(a.GetSpare(), 4u);
    EXPECT_EQ(a.GetAt(5), 105);
    EXPECT_EQ(a.GetCursorBlock(), a.GetLastBlock());
    EXPECT_EQ(a.GetCursorBase(), 5);
    EXPECT_EQ(a.GetAt(0), 100);
    EXPECT_EQ(a.GetCursorBlock(), a.GetFirstBlock());
    EXPECT_EQ(a.GetCursorBase(), 0);
    ExpectConsistent(a);
}

TEST(TavmArray, InsertIntoFullBlockSplitsIt)
{
    IntArray a(5);
    for (int k = 0; k < 5; ++k)
        a.Add(k);
    EXPECT_EQ(a.InsertAt(2, 99), 2);
    EXPECT_EQ(BlockUse(a), (std::vector<int>{3, 3}));
    EXPECT_EQ(Contents(a), (std::vector<int>{0, 1, 99, 2, 3, 4}));
    EXPECT_EQ(a.GetSpare(), 4u);
    ExpectConsistent(a);

    // Inserting at the end is an Add; past the end is refused.
    EXPECT_EQ(a.InsertAt(6, 7), 6);
    EXPECT_EQ(a.InsertAt(8, 8), -1);
    EXPECT_EQ(Contents(a), (std::vector<int>{0, 1, 99, 2, 3, 4, 7}));
}

TEST(TavmArray, RemovingTheCursorBlockMovesTheCursorToTheFront)
{
    IntArray a(2);
    for (int k = 0; k < 5; ++k)
        a.Add(k);  // blocks 2, 2, 1
    EXPECT_EQ(a.GetAt(4), 4);
    EXPECT_EQ(a.RemoveAt(4), 1);
    EXPECT_EQ(a.GetCursorBlock(), a.GetFirstBlock());
    EXPECT_EQ(a.GetCursorBase(), 0);
    EXPECT_EQ(a.GetAt(3), 3);
    EXPECT_EQ(a.GetAt(1), 1);
    ExpectConsistent(a);

    IntArray one(5);
    one.Add(42);
    EXPECT_EQ(one.RemoveAt(0), 1);
    EXPECT_EQ(one.GetSize(), 0);
    EXPECT_EQ(one.GetCursorBase(), -1);
    EXPECT_EQ(one.GetFirstBlock(), nullptr);
    EXPECT_EQ(one.Add(7), 0);
    EXPECT_EQ(one.GetAt(0), 7);
    ExpectConsistent(one);
}

TEST(TavmArray, OutOfRangeAndZeroCapacityRequestsChangeNothing)
{
    IntArray none(0);
    EXPECT_EQ(none.Add(1), -1);
    EXPECT_EQ(none.InsertAt(0, 1), -1);
    EXPECT_EQ(none.GetSize(), 0);
    EXPECT_EQ(none.GetFirstBlock(), nullptr);

    IntArray a(5);
    a.Add(1);
    a.Add(2);
    EXPECT_EQ(a.SetAt(2, 9), 0);
    EXPECT_EQ(a.RemoveAt(2), 0);
    EXPECT_EQ(a.SetAt(1, 9), 1);
    EXPECT_EQ(Contents(a), (std::vector<int>{1, 9}));
    a.ElementAt(0) = 5;
    EXPECT_EQ(a.GetAt(0), 5);
}

TEST(TavmArray, FailedAllocationLeavesTheArrayAsItWas)
{
    {
        IntArray a(5);
        FailAfter fail(0);  // the block itself
        EXPECT_EQ(a.Add(1), -1);
    }
    {
        IntArray a(5);
        FailAfter fail(1);  // the block succeeds, its storage does not
        EXPECT_EQ(a.Add(1), -1);
        EXPECT_EQ(a.GetSize(), 0);
        ExpectConsistent(a);
    }
    IntArray a(3);
    for (int k = 0; k < 3; ++k)
        a.Add(k);
    {
        FailAfter fail(0);
        EXPECT_EQ(a.Add(3), -1);         // needs a second block
        EXPECT_EQ(a.InsertAt(1, 9), -1);  // needs a split
    }
    EXPECT_EQ(Contents(a), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(a.GetSpare(), 0u);
    ExpectConsistent(a);
    EXPECT_EQ(a.Add(3), 3);
    ExpectConsistent(a);
}

TEST(TavmArray, CompactFillsEveryBlockButTheLast)
{
    IntArray a(4);
    for (int k = 0; k < 16; ++k)
        a.Add(k);
    // Thin out the middle blocks without ever making the array wasteful enough
    // to compact by itself.
    a.RemoveAt(5);
    a.RemoveAt(9);
    std::vector<int> before = Contents(a);
    a.Compact();
    EXPECT_EQ(a.GetCursorBlock(), a.GetFirstBlock());
    EXPECT_EQ(a.GetCursorBase(), 0);
    EXPECT_EQ(BlockUse(a), (std::vector<int>{4, 4, 4, 2}));
    EXPECT_EQ(Contents(a), before);
    EXPECT_EQ(a.GetSpare(), 2u);
    ExpectConsistent(a);
}

TEST(TavmArray, WastefulChainsCompactThemselves)
{
    IntArray a(5);
    for (int k = 0; k < 10; ++k)
        a.Add(k);
    for (int k = 0; k < 4; ++k)
        a.RemoveAt(0);  // first block down to one element
    a.RemoveAt(1);
    EXPECT_EQ(BlockUse(a), (std::vector<int>{1, 4})) << "five spare slots are not yet waste";
    a.RemoveAt(1);  // six spare slots for four elements
    EXPECT_EQ(BlockUse(a), (std::vector<int>{4}));
    EXPECT_EQ(Contents(a), (std::vector<int>{4, 7, 8, 9}));
    EXPECT_EQ(a.GetSpare(), 1u);
    ExpectConsistent(a);
}

TEST(TavmArray, RandomEditsMatchAVector)
{
    std::mt19937 rng(12345);
    for (uint16_t capacity : {1, 2, 5, 7}) {
        IntArray a(capacity);
        std::vector<int> model;
        for (int step = 0; step < 4000; ++step) {
            const int op = int(rng() % 10);
            const uint32_t size = uint32_t(model.size());
            const int value = int(rng() % 100000);
            if (op < 3) {
                ASSERT_EQ(a.Add(value), int(size));
                model.push_back(value);
            } else if (op < 6) {
                const uint32_t at = size ? uint32_t(rng() % (size + 1)) : 0;
                ASSERT_EQ(a.InsertAt(at, value), int(at));
                model.insert(model.begin() + at, value);
            } else if (op < 9 && size) {
                const uint32_t at = uint32_t(rng() % size);
                ASSERT_EQ(a.RemoveAt(at), 1);
                model.erase(model.begin() + at);
            } else if (size) {
                const uint32_t at = uint32_t(rng() % size);
                ASSERT_EQ(a.GetAt(at), model[at]);
                ASSERT_EQ(a.SetAt(at, value), 1);
                model[at] = value;
            }
            ExpectConsistent(a);
            if (step % 97 == 0) {
                ASSERT_EQ(Contents(a), model);
            }
        }
        ASSERT_EQ(Contents(a), model);
        a.RemoveAll();
        ExpectConsistent(a);
        EXPECT_EQ(a.GetSize(), 0);
    }
}

struct CountingArray : IntArray {
    explicit CountingArray(int* frees, int* destroyed) : IntArray(5), frees_(frees), destroyed_(destroyed) {}
    ~CountingArray() override { ++*destroyed_; }
    void FreeBlocks() override
    {
        ++*frees_;
        IntArray::FreeBlocks();
    }
    bool IsWasteful() const override { return false; }
    int* frees_;
    int* destroyed_;
};

TEST(TavmArray, OwnersCanOverrideTheVirtualOperations)
{
    int frees = 0, destroyed = 0;
    IntArray* a = new CountingArray(&frees, &destroyed);
    for (int k = 0; k < 10; ++k)
        a->InsertAt(0, k);
    for (int k = 0; k < 8; ++k)
        a->RemoveAt(1);
    EXPECT_EQ(BlockUse(*a).size(), 2u) << "an array that is never wasteful never compacts";
    a->RemoveAll();
    a->RemoveAll();  // nothing left: FreeBlocks is not called again
    EXPECT_EQ(frees, 1);
    delete a;
    EXPECT_EQ(destroyed, 1);
}

}  // namespace

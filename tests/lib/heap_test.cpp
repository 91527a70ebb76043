// The heap wrappers: the size-0 rule, nulling after a free, resizing.
#include <gtest/gtest.h>

#include <cstring>

#include "lib/zem_lib.h"

TEST(Heap, SizeZeroGivesThirtyTwoBytes)
{
    void* block = nullptr;
    ASSERT_NE(ZemMemAlloc(&block, 0, 0), nullptr);
    EXPECT_GE(ZemMemSize(block), 32u);
    memset(block, 0xAB, 32);

    ASSERT_NE(ZemMemReAlloc(&block, 0, 0), nullptr);
    EXPECT_GE(ZemMemSize(block), 32u);
    EXPECT_EQ(static_cast<unsigned char*>(block)[31], 0xAB);
    EXPECT_EQ(ZemMemFree(&block), 1);
}

TEST(Heap, AllocStoresTheBlockAndZeroFlagClears)
{
    unsigned char* block = nullptr;
    unsigned char* result = ZemMemAllocAs(&block, 100, ZEM_ZERO_MEMORY);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result, block);
    for (int i = 0; i < 100; i++)
        ASSERT_EQ(block[i], 0) << i;
    ZemMemFreeAs(&block);
}

TEST(Heap, FreeNullsTheVariableAndIsHarmlessTwice)
{
    void* block = nullptr;
    EXPECT_EQ(ZemMemFree(&block), 1);
    ASSERT_NE(ZemMemAlloc(&block, 64, 0), nullptr);
    EXPECT_EQ(ZemMemFree(&block), 1);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(ZemMemFree(&block), 1);
}

TEST(Heap, ReAllocKeepsContentsAndZeroesTheGrowth)
{
    unsigned char* block = nullptr;
    ASSERT_NE(ZemMemAllocAs(&block, 16, 0), nullptr);
    for (int i = 0; i < 16; i++)
        block[i] = static_cast<unsigned char>(i + 1);
    void* variable = block;
    ASSERT_NE(ZemMemReAlloc(&variable, 4096, ZEM_ZERO_MEMORY), nullptr);
    block = static_cast<unsigned char*>(variable);
    EXPECT_GE(ZemMemSize(block), 4096u);
    for (int i = 0; i < 16; i++)
        ASSERT_EQ(block[i], i + 1);
    for (int i = 64; i < 4096; i++)
        ASSERT_EQ(block[i], 0) << i;
    ZemMemFreeAs(&block);
}

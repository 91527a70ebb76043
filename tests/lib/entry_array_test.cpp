// EntryArray: creation numbers, growth by four spare elements, insertion and
// reuse after a clear.
#include <gtest/gtest.h>

#include <string>

#include "lib/zem_lib.h"

namespace {

struct Element {
    char tag;
    char rest[279];
};
static_assert(sizeof(Element) == 280);

Element Tagged(char tag)
{
    Element element{};
    element.tag = tag;
    return element;
}

std::string Tags(const EntryArray* array)
{
    std::string tags;
    for (uint32_t i = 0; i < array->count; i++)
        tags += static_cast<const Element*>(ZemArrayAt(array, i))->tag;
    return tags;
}

}  // namespace

TEST(EntryArray, CreateSetsCapacityAndGrowth)
{
    EntryArray* entries = ZemArrayCreate(280, 8);
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(entries->count, 0u);
    EXPECT_EQ(entries->elementSize, 280u);
    EXPECT_EQ(entries->capacityBytes, 2240u);
    EXPECT_EQ(entries->growthBytes, 1120u);
    ZemArrayDestroy(entries);

    EntryArray* pointers = ZemArrayCreate(4, 0);
    ASSERT_NE(pointers, nullptr);
    EXPECT_EQ(pointers->capacityBytes, 16u);
    EXPECT_EQ(pointers->growthBytes, 16u);
    ZemArrayDestroy(pointers);

    EXPECT_EQ(ZemArrayCreate(0, 8), nullptr);
    ZemArrayDestroy(nullptr);
}

TEST(EntryArray, NinthAppendGrowsByFourSpareElements)
{
    EntryArray* array = ZemArrayCreate(280, 8);
    ASSERT_NE(array, nullptr);
    unsigned char* firstBlock = array->data;
    for (int i = 0; i < 8; i++) {
        Element element = Tagged(static_cast<char>('a' + i));
        ASSERT_EQ(ZemArrayInsert(array, &element, ZEM_ARRAY_END, 1), 1);
    }
    EXPECT_EQ(array->data, firstBlock);
    EXPECT_EQ(array->capacityBytes, 2240u);

    Element ninth = Tagged('i');
    ASSERT_EQ(ZemArrayInsert(array, &ninth, ZEM_ARRAY_END, 1), 1);
    EXPECT_GE(array->capacityBytes, 3640u);
    EXPECT_LE(array->count * array->elementSize, array->capacityBytes);
    EXPECT_GE(ZemMemSize(array->data), array->capacityBytes);
    EXPECT_EQ(Tags(array), "abcdefghi");
    ZemArrayDestroy(array);
}

TEST(EntryArray, InsertInTheMiddleAndPastTheEnd)
{
    EntryArray* array = ZemArrayCreate(280, 8);
    ASSERT_NE(array, nullptr);
    Element pqr[3] = {Tagged('P'), Tagged('Q'), Tagged('R')};
    ASSERT_EQ(ZemArrayInsert(array, pqr, 0, 3), 1);
    Element xy[2] = {Tagged('X'), Tagged('Y')};
    ASSERT_EQ(ZemArrayInsert(array, xy, 1, 2), 1);
    EXPECT_EQ(Tags(array), "PXYQR");

    Element z = Tagged('Z');
    ASSERT_EQ(ZemArrayInsert(array, &z, 7, 1), 1);
    EXPECT_EQ(Tags(array), "PXYQRZ");
    EXPECT_EQ(ZemArrayInsert(array, &z, 2, 0), 1);
    EXPECT_EQ(array->count, 6u);
    ZemArrayDestroy(array);
}

TEST(EntryArray, NullSourceLeavesRoomForTheCallerToFill)
{
    EntryArray* array = ZemArrayCreate(280, 2);
    ASSERT_NE(array, nullptr);
    Element ab[2] = {Tagged('A'), Tagged('B')};
    ASSERT_EQ(ZemArrayInsert(array, ab, ZEM_ARRAY_END, 2), 1);
    ASSERT_EQ(ZemArrayInsert(array, nullptr, 1, 1), 1);
    static_cast<Element*>(ZemArrayAt(array, 1))->tag = 'N';
    EXPECT_EQ(Tags(array), "ANB");
    ZemArrayDestroy(array);
}

TEST(EntryArray, ClearKeepsTheBlockForReuse)
{
    EntryArray* array = ZemArrayCreate(4, 10);
    ASSERT_NE(array, nullptr);
    for (uint32_t i = 0; i < 25; i++)
        ASSERT_EQ(ZemArrayInsert(array, &i, ZEM_ARRAY_END, 1), 1);
    unsigned char* block = array->data;
    uint32_t capacity = array->capacityBytes;

    EXPECT_EQ(ZemArrayClear(array), 1);
    EXPECT_EQ(array->count, 0u);
    for (uint32_t i = 0; i < capacity / 4; i++)
        ASSERT_EQ(ZemArrayInsert(array, &i, ZEM_ARRAY_END, 1), 1);
    EXPECT_EQ(array->data, block);
    EXPECT_EQ(array->capacityBytes, capacity);

    uint32_t one = 1;
    ASSERT_EQ(ZemArrayInsert(array, &one, ZEM_ARRAY_END, 1), 1);
    EXPECT_GT(array->capacityBytes, capacity);
    ZemArrayDestroy(array);
}

TEST(EntryArray, ReserveRefusesACountBeyondThirtyTwoBits)
{
    EntryArray* array = ZemArrayCreate(280, 8);
    ASSERT_NE(array, nullptr);
    unsigned char* block = array->data;
    EXPECT_EQ(ZemArrayReserve(array, 0xFFFFFFF0u), 0);
    EXPECT_EQ(array->data, block);
    EXPECT_EQ(array->capacityBytes, 2240u);
    EXPECT_EQ(ZemArrayReserve(array, 8), 1);
    ZemArrayDestroy(array);
}

// The heap wrappers and EntryArray: size 0, nulling after a free, growth, insertion, reuse after a clear.
#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

TEST(Heap, SizeZeroZeroFlagFreeAndResize)
{
    void* block = nullptr;
    EXPECT_EQ(ZemMemFree(&block), 1);   // freeing nothing is harmless
    ASSERT_NE(ZemMemAlloc(&block, 0, 0), nullptr);
    EXPECT_GE(ZemMemSize(block), 32u);
    memset(block, 0xAB, 32);
    ASSERT_NE(ZemMemReAlloc(&block, 0, 0), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(block)[31], 0xAB);
    ASSERT_NE(ZemMemReAlloc(&block, 4096, ZEM_ZERO_MEMORY), nullptr);
    const unsigned char* bytes = static_cast<unsigned char*>(block);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[31], 0xAB);
    EXPECT_EQ(std::count(bytes + 64, bytes + 4096, 0), 4096 - 64);
    EXPECT_EQ(ZemMemFree(&block), 1);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(ZemMemFree(&block), 1);

    unsigned char* zeroed = nullptr;
    ASSERT_EQ(ZemMemAllocAs(&zeroed, 100, ZEM_ZERO_MEMORY), zeroed);
    EXPECT_EQ(std::count(zeroed, zeroed + 100, 0), 100);
    ZemMemFreeAs(&zeroed);
}

struct Element {
    char tag;
    char rest[279];
};

void Append(EntryArray* array, const char* tags, uint32_t position = ZEM_ARRAY_END)
{
    for (; *tags; tags++, position += position != ZEM_ARRAY_END) {
        Element element{};
        element.tag = *tags;
        ASSERT_EQ(ZemArrayInsert(array, &element, position, 1), 1);
    }
}

std::string Tags(const EntryArray* array)
{
    std::string tags;
    for (uint32_t i = 0; i < array->count; i++)
        tags += static_cast<const Element*>(ZemArrayAt(array, i))->tag;
    return tags;
}

TEST(EntryArray, CreateGrowAndInsert)
{
    EXPECT_EQ(ZemArrayCreate(0, 8), nullptr);
    ZemArrayDestroy(nullptr);
    EntryArray *small, *array;
    ASSERT_NE(small = ZemArrayCreate(4, 0), nullptr);
    EXPECT_EQ(small->capacityBytes, 16u);   // four elements at first, and four more at each growth
    EXPECT_EQ(small->growthBytes, 16u);
    ZemArrayDestroy(small);

    ASSERT_NE(array = ZemArrayCreate(sizeof(Element), 8), nullptr);
    EXPECT_EQ(array->capacityBytes, 2240u);
    EXPECT_EQ(array->growthBytes, 1120u);
    unsigned char* firstBlock = array->data;
    Append(array, "abcdefgh");
    EXPECT_EQ(array->data, firstBlock);
    Append(array, "i");   // the ninth grows by four spare elements
    EXPECT_GE(array->capacityBytes, 3640u);
    EXPECT_GE(ZemMemSize(array->data), array->capacityBytes);
    EXPECT_EQ(Tags(array), "abcdefghi");

    Append(array, "XY", 1);
    Append(array, "Z", 99);   // past the end appends
    ASSERT_EQ(ZemArrayInsert(array, nullptr, 0, 1), 1);   // room for the caller to fill
    static_cast<Element*>(ZemArrayAt(array, 0))->tag = 'N';
    EXPECT_EQ(ZemArrayInsert(array, nullptr, 2, 0), 1);
    EXPECT_EQ(Tags(array), "NaXYbcdefghiZ");

    unsigned char* block = array->data;
    uint32_t capacity = array->capacityBytes;
    EXPECT_EQ(ZemArrayReserve(array, 0xFFFFFFF0u), 0);
    EXPECT_EQ(array->data, block);
    EXPECT_EQ(array->capacityBytes, capacity);
    // A clear keeps the block: the 13 elements of 280 bytes fit again before it grows.
    EXPECT_EQ(ZemArrayClear(array), 1);
    EXPECT_EQ(array->count, 0u);
    Append(array, "ccccccccccccc");
    EXPECT_EQ(array->data, block);
    Append(array, "d");
    EXPECT_GT(array->capacityBytes, capacity);
    ZemArrayDestroy(array);
}

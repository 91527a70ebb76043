// Every test binary starts the support library before its first test.
#include <gtest/gtest.h>

#include "lib/zem_lib.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!ZemLibInit())
        return 1;
    int result = RUN_ALL_TESTS();
    ZemLibExit();
    return result;
}

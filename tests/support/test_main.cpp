// Every test binary starts the support library before its first test.
#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!ZemLibInit())
        return 1;
    int result = RUN_ALL_TESTS();
    ZemLibExit();
    return result;
}

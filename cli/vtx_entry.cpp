// The entry point of vtx; the program itself is VtxMain, which the tests run as well.
#include "cli/vtx_commands.h"

int main(int argc, char** argv)
{
    return VtxMain(argc, argv);
}

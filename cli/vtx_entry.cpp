// The entry point of vtx; the program itself is VtxMain, which the tests run as well.
#include "cli/vtx_commands.h"
#include "cli/vtx_platform.h"

int main(int argc, char** argv)
{
    VtxStartConsoleText();
    int status = VtxMain(argc, argv);
    VtxEndConsoleText();
    return status;
}

// vtx ls [--json]: reads the listing exactly as the browser does and prints
// the tree with sizes and the free space of both disks.
#include <cstdio>
#include <cstring>

#include "cli/vtx_commands.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"
#include "tree/tree_json.h"

const char VtxLsUsage[] =
    "usage: vtx [OPTIONS] ls [--json]\n"
    "\n"
    "Reads the controller's directory listing and prints every directory and\n"
    "file with its size, then the free bytes of the RAM disk and the flash disk.\n"
    "\n"
    "  --json   print one JSON object instead:\n"
    "           {\"ramDiskFree\":N,\"flashDiskFree\":N,\"root\":{\"name\":\"/\",\"type\":\"dir\",\"children\":[...]}}\n"
    "           directories {\"name\":S,\"type\":\"dir\",\"children\":[...]}, files\n"
    "           {\"name\":S,\"type\":\"file\",\"size\":N}, in listing order; name bytes\n"
    "           below 0x20 or from 0x80 on are written as \\u00XX\n"
    "\n"
    "Exit status: 0 listed, 1 the port or the controller failed, 2 usage error.\n";

// Names come from the controller: control and 8-bit bytes are shown as \xNN
// so that they cannot drive the terminal, and a backslash is doubled.
static void PrintName(const char* name)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; p++) {
        if (*p == '\\')
            fputs("\\\\", stdout);
        else if (*p < 0x20 || *p >= 0x7F)
            printf("\\x%02x", *p);
        else
            putchar(*p);
    }
}

static void PrintDirectory(const DirEntry* directory, int indent)
{
    for (uint32_t i = 0; i < directory->children->count; i++) {
        const DirEntry* entry = EntryAt(directory->children, i);
        printf("%*s", indent, "");
        PrintName(entry->name);
        if (entry->isDirectory) {
            fputs("/\n", stdout);
            PrintDirectory(entry, indent + 2);
        } else {
            printf("  (%lu bytes)\n", static_cast<unsigned long>(entry->size));
        }
    }
}

static void PrintTreeText(const DeviceTree* tree)
{
    puts("/");
    PrintDirectory(&tree->root, 2);
    printf("RAM disk free: %lu bytes\n", static_cast<unsigned long>(tree->ramDiskFree));
    printf("Flash disk free: %lu bytes\n", static_cast<unsigned long>(tree->flashDiskFree));
}

int VtxLs(int argc, char** argv, const VtxOptions* options)
{
    int json;
    if (!VtxReadJsonOption(argc, argv, "ls", &json))
        return VTX_EXIT_USAGE;

    VtxSession session;
    int result = VTX_EXIT_FAILED;
    if (VtxConnectAndRead(options, &session)) {
        if (json) {
            WriteTreeJson(stdout, session.tree);
            putchar('\n');
        } else {
            PrintTreeText(session.tree);
        }
        result = VTX_EXIT_OK;
    }
    VtxDisconnect(&session);
    return result;
}

#include "tree/tree_json.h"

void WriteJsonString(FILE* out, const char* text)
{
    fputc('"', out);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
        if (*p == '"' || *p == '\\')
            fprintf(out, "\\%c", *p);
        else if (*p < 0x20 || *p >= 0x80)
            fprintf(out, "\\u%04x", *p);
        else
            fputc(*p, out);
    }
    fputc('"', out);
}

static void WriteEntryJson(FILE* out, const DirEntry* entry)
{
    fputs("{\"name\":", out);
    WriteJsonString(out, entry->name);
    if (!entry->isDirectory) {
        fprintf(out, ",\"type\":\"file\",\"size\":%lu}", static_cast<unsigned long>(entry->size));
        return;
    }
    fputs(",\"type\":\"dir\",\"children\":[", out);
    for (uint32_t i = 0; i < entry->children->count; i++) {
        if (i)
            fputc(',', out);
        WriteEntryJson(out, EntryAt(entry->children, i));
    }
    fputs("]}", out);
}

void WriteTreeJson(FILE* out, const DeviceTree* tree)
{
    fprintf(out, "{\"ramDiskFree\":%lu,\"flashDiskFree\":%lu,\"root\":",
            static_cast<unsigned long>(tree->ramDiskFree), static_cast<unsigned long>(tree->flashDiskFree));
    WriteEntryJson(out, &tree->root);
    fputc('}', out);
}

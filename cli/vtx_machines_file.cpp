// Reading the machines file: INI text, one section a machine. Whatever is
// wrong in it stops vtx with the file, the line and the fault, before the
// port is touched: a typing error must not send a backup to another machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/vtx_commands.h"
#include "cli/vtx_machines.h"

VtxMachine VtxMachineTaken;

static const uint32_t MACHINES_FILE_MAX = 1024 * 1024;
static const uint32_t DEFAULT_MACHINE_BAUD = 57600;
static const uint32_t DEFAULT_MACHINE_ATTEMPTS = 2;
static const int MACHINES_FILE_PLACES = 4;

// Which keys a section gave, to refuse one given twice.
enum { KEY_PORT = 1, KEY_BAUD = 2, KEY_ATTEMPTS = 4, KEY_NOTE = 8 };

static int Fault(const VtxMachinesFile* file, uint32_t line, const char* what, const char* detail)
{
    fprintf(stderr, "vtx: %s:%lu: %s%s\n", file->path, static_cast<unsigned long>(line), what, detail ? detail : "");
    return 0;
}

static int EqualsIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; a++, b++) {
        char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
        if (x != y)
            return 0;
    }
    return *a == *b;
}

static char* Trim(char* text)
{
    while (*text == ' ' || *text == '\t')
        text++;
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t' || text[length - 1] == '\r'))
        text[--length] = 0;
    return text;
}

// The name becomes a folder of the backups on Linux and Windows alike.
static int UsableAsFolderName(const char* name)
{
    size_t length = strlen(name);
    if (name[0] == '.' || name[length - 1] == '.' || name[length - 1] == ' ')
        return 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; p++)
        if (*p < 0x20 || *p == 0x7F || strchr("/\\:*?\"<>|", *p))
            return 0;
    return 1;
}

static VtxMachine* FindByName(const VtxMachinesFile* file, const char* name)
{
    for (uint32_t i = 0; i < VtxMachineCount(file); i++)
        if (EqualsIgnoringCase(VtxMachineAt(file, i)->name, name))
            return VtxMachineAt(file, i);
    return nullptr;
}

static int OpenSection(VtxMachinesFile* file, uint32_t line, char* text)
{
    size_t length = strlen(text);
    if (text[length - 1] != ']')
        return Fault(file, line, "a section line must end with \"]\"", nullptr);
    text[length - 1] = 0;
    char* name = Trim(text + 1);
    if (!*name)
        return Fault(file, line, "a machine needs a name between \"[\" and \"]\"", nullptr);
    if (strlen(name) >= VTX_MACHINE_NAME_SIZE)
        return Fault(file, line, "a machine's name may have at most 63 characters: ", name);
    if (!UsableAsFolderName(name))
        return Fault(file, line, "a machine's name is a folder's name: no slash, backslash, colon, star, question "
                                 "mark, quote, angle bracket, bar or control character, no dot first, no dot or "
                                 "blank last: ", name);
    const VtxMachine* earlier = FindByName(file, name);
    if (earlier) {
        char detail[128];
        snprintf(detail, sizeof(detail), "%s (first at line %lu)", name, static_cast<unsigned long>(earlier->line));
        return Fault(file, line, "a second section for the machine ", detail);
    }
    VtxMachine machine = {};
    strcpy(machine.name, name);
    machine.baud = DEFAULT_MACHINE_BAUD;
    machine.attempts = DEFAULT_MACHINE_ATTEMPTS;
    machine.line = line;
    return ZemArrayInsert(file->machines, &machine, 0xFFFFFFFFu, 1) || Fault(file, line, "not enough memory", nullptr);
}

static int CopyValue(const VtxMachinesFile* file, uint32_t line, char* target, uint32_t size, const char* value,
                     const char* key)
{
    if (strlen(value) >= size) {
        char what[96];
        snprintf(what, sizeof(what), "%s may have at most %lu characters", key, static_cast<unsigned long>(size - 1));
        return Fault(file, line, what, nullptr);
    }
    strcpy(target, value);
    return 1;
}

static int TakeKey(VtxMachinesFile* file, uint32_t line, char* text, unsigned* given)
{
    char* equals = strchr(text, '=');
    if (!equals)
        return Fault(file, line, "a line must be [NAME], KEY = VALUE or a comment (; or #): ", text);
    *equals = 0;
    char* key = Trim(text);
    char* value = Trim(equals + 1);
    if (VtxMachineCount(file) == 0)
        return Fault(file, line, "a key before the first machine's [NAME]: ", key);
    VtxMachine* machine = VtxMachineAt(file, VtxMachineCount(file) - 1);
    static const struct { const char* name; unsigned bit; } keys[] = {
        {"port", KEY_PORT}, {"baud", KEY_BAUD}, {"attempts", KEY_ATTEMPTS}, {"note", KEY_NOTE}};
    unsigned bit = 0;
    for (const auto& known : keys)
        if (EqualsIgnoringCase(key, known.name))
            bit = known.bit;
    if (!bit)
        return Fault(file, line, "unknown key (port, baud, attempts and note are known): ", key);
    if (*given & bit)
        return Fault(file, line, "a key given twice for the machine: ", key);
    *given |= bit;
    if (bit == KEY_PORT) {
        if (!*value)
            return Fault(file, line, "an empty port", nullptr);
        return CopyValue(file, line, machine->port, sizeof(machine->port), value, "port");
    }
    if (bit == KEY_BAUD && !VtxParseCount(value, &machine->baud))
        return Fault(file, line, "baud needs a speed in bit/s, a positive whole number, not: ", value);
    if (bit == KEY_ATTEMPTS && (!VtxParseCount(value, &machine->attempts) || machine->attempts > 100))
        return Fault(file, line, "attempts needs a number from 1 to 100, not: ", value);
    if (bit == KEY_NOTE)
        return CopyValue(file, line, machine->note, sizeof(machine->note), value, "note");
    return 1;
}

// The machine before a new section, or the last one, must have its port.
static int CheckLastMachine(const VtxMachinesFile* file)
{
    uint32_t count = VtxMachineCount(file);
    const VtxMachine* last = count ? VtxMachineAt(file, count - 1) : nullptr;
    if (last && !last->port[0])
        return Fault(file, last->line, "the machine has no port: ", last->name);
    return 1;
}

static int ParseMachines(VtxMachinesFile* file, char* text)
{
    uint32_t line = 0;
    unsigned given = 0;
    // Notepad may begin a file it saves as UTF-8 with a byte order mark.
    if (strncmp(text, "\xEF\xBB\xBF", 3) == 0)
        text += 3;
    for (char* next = text; next;) {
        char* start = next;
        next = strchr(start, '\n');
        if (next)
            *next++ = 0;
        line++;
        char* content = Trim(start);
        if (!*content || *content == ';' || *content == '#')
            continue;
        if (*content == '[') {
            if (!CheckLastMachine(file) || !OpenSection(file, line, content))
                return 0;
            given = 0;
        } else if (!TakeKey(file, line, content, &given)) {
            return 0;
        }
    }
    return CheckLastMachine(file);
}

// The file's whole text, NUL-terminated, in a block of the caller's.
static int ReadWholeText(const VtxMachinesFile* file, char** text)
{
    uint32_t length;
    const char* why;
    if (!VtxReadWholeFile(file->path, MACHINES_FILE_MAX, text, &length, &why)) {
        fprintf(stderr, "vtx: %s: the machines file cannot be read: %s\n", file->path, why);
        return 0;
    }
    if (strlen(*text) != length) {
        fprintf(stderr, "vtx: %s: a NUL byte, which no machines file holds\n", file->path);
        return 0;
    }
    return 1;
}

// $VTX_MACHINES, else the first of the platform's places that exists.
static int FindMachinesFile(VtxMachinesFile* file)
{
    const char* named = getenv("VTX_MACHINES");
    if (named && *named && strlen(named) >= sizeof(file->path)) {
        fputs("vtx: VTX_MACHINES names a path longer than 1023 characters\n", stderr);
        return 0;
    }
    if (named && *named) {
        strcpy(file->path, named);
        return 1;
    }
    char places[MACHINES_FILE_PLACES][VTX_MACHINES_PATH_SIZE];
    int count = VtxMachinesFilePlaces(places, MACHINES_FILE_PLACES);
    ZemFindData found;
    for (int i = 0; i < count; i++) {
        if (ZemFileFind(places[i], &found)) {
            strcpy(file->path, places[i]);
            return 1;
        }
    }
    fputs("vtx: no machines file: VTX_MACHINES names none, and there is none at", stderr);
    for (int i = 0; i < count; i++)
        fprintf(stderr, "%s %s", i ? (i + 1 == count ? " or" : ",") : "", places[i]);
    fputs("\n", stderr);
    return 0;
}

int VtxReadMachines(VtxMachinesFile* file)
{
    file->path[0] = 0;
    file->machines = ZemArrayCreate(sizeof(VtxMachine), 8);
    char* text = nullptr;
    int read = file->machines && FindMachinesFile(file) && ReadWholeText(file, &text) && ParseMachines(file, text);
    ZemMemFreeAs(&text);
    if (!file->machines)
        fputs("Not enough memory.\n", stderr);
    return read;
}

void VtxCloseMachines(VtxMachinesFile* file)
{
    if (file->machines)
        ZemArrayDestroy(file->machines);
    file->machines = nullptr;
}

void VtxApplyMachine(VtxOptions* options, const VtxMachine* machine)
{
    if (!(options->given & VTX_GIVEN_PORT)) {
        options->port = machine->port;
        options->defaultPort = 0;
    }
    if (!(options->given & VTX_GIVEN_BAUD))
        options->baud = machine->baud;
    if (!(options->given & VTX_GIVEN_ATTEMPTS))
        options->attempts = machine->attempts;
}

int VtxTakeMachine(VtxOptions* options)
{
    if (!options->machine)
        return 1;
    VtxMachinesFile file;
    int taken = VtxReadMachines(&file);
    const VtxMachine* machine = taken ? FindByName(&file, options->machine) : nullptr;
    if (taken && !machine) {
        fprintf(stderr, "vtx: %s: no machine named %s (the file names", file.path, options->machine);
        for (uint32_t i = 0; i < VtxMachineCount(&file); i++)
            fprintf(stderr, "%s %s", i ? "," : "", VtxMachineAt(&file, i)->name);
        fputs(VtxMachineCount(&file) ? ")\n" : " none)\n", stderr);
        taken = 0;
    }
    if (taken) {
        VtxMachineTaken = *machine;
        VtxApplyMachine(options, &VtxMachineTaken);
    }
    VtxCloseMachines(&file);
    return taken;
}

// Faults switched on by --fault and by the control file, so tests can make
// the controller misbehave in each way the client must survive.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/sim.h"

// Argument forms of a fault.
enum {
    ARGS_NONE,          // name
    ARGS_COUNT,         // name[:N], N counted from 1; none = every time
    ARGS_NUMBER,        // name:N
    ARGS_TWO,           // name:K:N
    ARGS_NUMBER_OPT,    // name:K[:N], N defaults to FaultForm::defaultB
    ARGS_NUMBER_COUNT,  // name:K[:N], N counted from 1; none = every time
    ARGS_LETTER_COUNT,  // name:X[:N]
    ARGS_LETTER_ONE,    // name:X:B[:N]
    ARGS_LETTER_TWO,    // name:X:B:MS[:N]
};

struct FaultForm {
    const char* name;
    int kind;
    int args;
    char letter;        // fixed command letter of an alias of FAULT_SILENT
    uint32_t defaultB;
    const char* usage;
    const char* help;
};

static const FaultForm FaultForms[] = {
    {"silent", FAULT_SILENT, ARGS_LETTER_COUNT, 0, 0, "silent:X[:N]",
     "no answer to the N-th command X (l, p, t, d or u), or to every one"},
    {"listing-silent", FAULT_SILENT, ARGS_COUNT, 'l', 0, "listing-silent[:N]",
     "no answer to the N-th listing, or to every one (\"No answer\")"},
    {"listing-invalid", FAULT_LISTING_INVALID, ARGS_COUNT, 0, 0, "listing-invalid[:N]",
     "the N-th listing (or every one) has an unrecognised line (\"not correct\")"},
    {"listing-gap", FAULT_LISTING_GAP, ARGS_NUMBER_COUNT, 0, 0, "listing-gap:MS[:N]",
     "pause MS milliseconds in the middle of the N-th listing, or of every one"},
    {"no-tools", FAULT_NO_TOOLS, ARGS_NONE, 0, 0, "no-tools", "answer \"t\" with exactly \"t\\r\\n\": no tool list"},
    {"slow", FAULT_SLOW, ARGS_NUMBER, 0, 0, "slow:MS", "wait MS milliseconds before every answer to a command"},
    {"hangup-after", FAULT_HANGUP_AFTER, ARGS_NUMBER, 0, 0, "hangup-after:N",
     "after the N-th command close the terminal and exit: the client's next write fails"},
    {"can-start", FAULT_CAN_START, ARGS_NONE, 0, 0, "can-start", "answer \"u\" with CAN instead of a start request"},
    {"silent-start", FAULT_SILENT, ARGS_NONE, 'u', 0, "silent-start", "no start request after \"u\" (same as silent:u)"},
    {"silent-header", FAULT_SILENT_HEADER, ARGS_NONE, 0, 0, "silent-header", "never acknowledge a file header"},
    {"can-header", FAULT_CAN_HEADER, ARGS_NONE, 0, 0, "can-header", "answer every file header with CAN"},
    {"silent-data-start", FAULT_SILENT_DATA_START, ARGS_NONE, 0, 0, "silent-data-start",
     "acknowledge a header but send no start request for its data"},
    {"nak", FAULT_NAK, ARGS_TWO, 0, 0, "nak:K:N", "NAK data block K of every file N times before taking it"},
    {"can-block", FAULT_CAN_BLOCK, ARGS_NUMBER, 0, 0, "can-block:K", "answer data block K with CAN"},
    {"silent-from", FAULT_SILENT_FROM, ARGS_NUMBER, 0, 0, "silent-from:K",
     "answer nothing from data block K on (the file is dropped)"},
    {"stall-from", FAULT_STALL_FROM, ARGS_NUMBER_OPT, 0, 15, "stall-from:K[:S]",
     "from data block K on stop reading the line and send ACKs blindly for S seconds (default 15), so the client's "
     "writes back up until its write time-out"},
    {"hangup-block", FAULT_HANGUP_BLOCK, ARGS_NUMBER, 0, 0, "hangup-block:K",
     "close the terminal instead of answering data block K and exit, as an unplugged adapter: the client's reads fail"},
    {"silent-eot", FAULT_SILENT_EOT, ARGS_NONE, 0, 0, "silent-eot", "never acknowledge an EOT (the file is dropped)"},
    {"silent-close", FAULT_SILENT_CLOSE, ARGS_NONE, 0, 0, "silent-close",
     "never acknowledge the closing header (the files are kept)"},
    {"no-space", FAULT_NO_SPACE, ARGS_NONE, 0, 0, "no-space",
     "both disks full: the listing shows 0 free bytes and every file is refused with CAN"},
    {"ack-delay", FAULT_ACK_DELAY, ARGS_NUMBER, 0, 0, "ack-delay:MS", "wait MS milliseconds before every ACK and NAK"},
    {"store-short", FAULT_STORE_SHORT, ARGS_NUMBER, 0, 0, "store-short:N",
     "acknowledge every file but store it N bytes shorter than it arrived"},
    {"pause", FAULT_PAUSE, ARGS_LETTER_TWO, 0, 0, "pause:X:B:MS[:N]",
     "pause MS milliseconds before byte B of the N-th answer to X (l, p, t or d), or of every one (B past the "
     "end: after the whole answer)"},
    {"bad-then-talk", FAULT_BAD_THEN_TALK, ARGS_COUNT, 0, 0, "bad-then-talk[:N]",
     "the N-th listing (or every one) has an unrecognised line, and 300 ms after its end the controller sends a "
     "stale listing of another tree: one file /ram/cncprg/stale.nc of 4242 bytes, 4242 bytes free on each disk"},
    {"long", FAULT_LONG, ARGS_LETTER_COUNT, 0, 0, "long:X[:N]",
     "the N-th answer to X (l, p or t), or every one, is longer than the 262143 bytes a client reads: the listing "
     "has a top-level folder \"filler\" of empty files in front, so that its end comes after byte 262143; the "
     "list ends in filler lines"},
    {"endless", FAULT_ENDLESS, ARGS_LETTER_ONE, 0, 0, "endless:X:B[:N]",
     "from byte B of the N-th answer to X (l, p, t or d) on (B past the end: after the whole answer) talk "
     "endlessly instead: a '.' every 20 ms, no command read, until the simulator is stopped"},
    {"noise", FAULT_NOISE, ARGS_LETTER_ONE, 0, 0, "noise:X:L[:N]",
     "L random bytes before the N-th answer to X (l, p, t or d), or every one; none is NUL, CR or LF"},
    {"noise-lines", FAULT_NOISE_LINES, ARGS_LETTER_ONE, 0, 0, "noise-lines:X:L[:N]",
     "like noise, but the L bytes come as lines ended by CR LF; none is NUL or '(', so none is a directory "
     "line"},
    {"hangup-at", FAULT_HANGUP_AT, ARGS_LETTER_ONE, 0, 0, "hangup-at:X:B[:N]",
     "send only the first B bytes of the N-th answer to X (l, p, t or d), then close the terminal and exit"},
    {"twice", FAULT_TWICE, ARGS_LETTER_COUNT, 0, 0, "twice:X[:N]",
     "send the N-th answer to X (l, p, t or d), or every one, twice: the copy right behind it"},
    {"talk-after", FAULT_TALK_AFTER, ARGS_LETTER_ONE, 0, 0, "talk-after:X:MS[:N]",
     "MS milliseconds after the N-th answer to X (l, p, t or d), or every one, send the line \"Vantorix ready\" "
     "that nobody asked for"},
};

static std::vector<FaultRule> CommandLineRules;
static std::vector<FaultRule> ControlRules;
static std::string ControlText;
static uint32_t CommandCounts[256];

static int ParseUnsigned(const char* text, uint32_t* out)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (*end != 0 || value > 0xFFFFFFFFul)
        return 0;
    *out = static_cast<uint32_t>(value);
    return 1;
}

// The command letters a fault may name: those whose answers it can shape.
static const char* LettersOf(int kind)
{
    if (kind == FAULT_SILENT)
        return "lptdu";
    return kind == FAULT_LONG ? "lpt" : "lptd";
}

// name:X, then `numbers` numbers (into b, then c), then an optional count N
// from 1 (into a).
static int ParseLetterForm(const std::vector<std::string>& parts, size_t numbers, FaultRule* rule)
{
    size_t count = parts.size() - 1;
    if (count < 1 + numbers || count > 2 + numbers || parts[1].size() != 1 ||
        std::strchr(LettersOf(rule->kind), parts[1][0]) == nullptr)
        return 0;
    rule->letter = parts[1][0];
    uint32_t* fields[] = {&rule->b, &rule->c};
    for (size_t i = 0; i < numbers; i++) {
        if (!ParseUnsigned(parts[2 + i].c_str(), fields[i]))
            return 0;
    }
    return count == 1 + numbers || (ParseUnsigned(parts[2 + numbers].c_str(), &rule->a) && rule->a > 0);
}

static int ParseFault(const char* written, FaultRule* rule)
{
    std::string text = written;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\t'))
        text.pop_back();
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    for (const FaultForm& form : FaultForms) {
        if (parts[0] != form.name)
            continue;
        *rule = FaultRule{form.kind, form.letter, 0, form.defaultB, 0};
        size_t count = parts.size() - 1;
        const char* first = count >= 1 ? parts[1].c_str() : nullptr;
        const char* second = count >= 2 ? parts[2].c_str() : nullptr;
        switch (form.args) {
        case ARGS_NONE:
            return count == 0;
        case ARGS_COUNT:
            return count == 0 || (count == 1 && ParseUnsigned(first, &rule->a) && rule->a > 0);
        case ARGS_NUMBER:
            return count == 1 && ParseUnsigned(first, &rule->a);
        case ARGS_TWO:
            return count == 2 && ParseUnsigned(first, &rule->a) && ParseUnsigned(second, &rule->b);
        case ARGS_NUMBER_OPT:
            return (count == 1 || count == 2) && ParseUnsigned(first, &rule->a) &&
                   (count == 1 || ParseUnsigned(second, &rule->b));
        case ARGS_NUMBER_COUNT:
            return (count == 1 || count == 2) && ParseUnsigned(first, &rule->a) &&
                   (count == 1 || (ParseUnsigned(second, &rule->b) && rule->b > 0));
        case ARGS_LETTER_COUNT:
            return ParseLetterForm(parts, 0, rule);
        case ARGS_LETTER_ONE:
            return ParseLetterForm(parts, 1, rule);
        case ARGS_LETTER_TWO:
            return ParseLetterForm(parts, 2, rule);
        }
    }
    return 0;
}

int AddCommandLineFault(const char* written)
{
    FaultRule rule{};
    if (!ParseFault(written, &rule))
        return 0;
    CommandLineRules.push_back(rule);
    return 1;
}

void ReloadFaults()
{
    if (Options.control.empty())
        return;
    std::string text;
    if (FILE* file = std::fopen(Options.control.c_str(), "rb")) {
        char piece[4096];
        size_t got = 0;
        while ((got = std::fread(piece, 1, sizeof piece, file)) > 0)
            text.append(piece, got);
        std::fclose(file);
    }
    if (text == ControlText)
        return;
    ControlText = text;
    ControlRules.clear();
    std::memset(CommandCounts, 0, sizeof CommandCounts);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        FaultRule rule{};
        if (ParseFault(line.c_str() + first, &rule))
            ControlRules.push_back(rule);
        else
            std::fprintf(stderr, "vantorix-sim: control file: unknown fault \"%s\" ignored\n", line.c_str());
    }
    SimTrace("control file read: %zu fault(s)", ControlRules.size());
}

// Slot 0 counts every command, the others one letter each.
uint32_t CountCommand(char letter)
{
    CommandCounts[0]++;
    return ++CommandCounts[static_cast<unsigned char>(letter)];
}

uint32_t CountedCommands()
{
    return CommandCounts[0];
}

std::vector<const FaultRule*> FaultsOfKind(int kind)
{
    std::vector<const FaultRule*> found;
    for (const std::vector<FaultRule>* rules : {&CommandLineRules, &ControlRules}) {
        for (const FaultRule& rule : *rules) {
            if (rule.kind == kind)
                found.push_back(&rule);
        }
    }
    return found;
}

const FaultRule* FindFault(int kind)
{
    for (const std::vector<FaultRule>* rules : {&CommandLineRules, &ControlRules}) {
        for (const FaultRule& rule : *rules) {
            if (rule.kind == kind)
                return &rule;
        }
    }
    return nullptr;
}

int FaultHits(int kind, uint32_t count)
{
    for (const std::vector<FaultRule>* rules : {&CommandLineRules, &ControlRules}) {
        for (const FaultRule& rule : *rules) {
            if (rule.kind == kind && (rule.a == 0 || rule.a == count))
                return 1;
        }
    }
    return 0;
}

std::vector<const FaultRule*> AnswerFaults(int kind, char letter, uint32_t count)
{
    std::vector<const FaultRule*> found;
    for (const FaultRule* rule : FaultsOfKind(kind)) {
        if (rule->letter == letter && (rule->a == 0 || rule->a == count))
            found.push_back(rule);
    }
    return found;
}

int FaultHitsCommand(char letter, uint32_t count)
{
    return !AnswerFaults(FAULT_SILENT, letter, count).empty();
}

// Prints text from column 23 on, broken at blanks to stay within 79 columns.
static void PrintWrapped(const char* text)
{
    const size_t width = 79 - 23;
    std::string rest = text;
    int first = 1;
    while (!rest.empty()) {
        size_t cut = rest.size();
        if (cut > width) {
            cut = rest.rfind(' ', width);
            if (cut == std::string::npos || cut == 0)
                cut = width;
        }
        std::printf("%s%s\n", first ? "" : "                       ", rest.substr(0, cut).c_str());
        rest = rest.substr(cut);
        while (!rest.empty() && rest[0] == ' ')
            rest.erase(0, 1);
        first = 0;
    }
}

void PrintFaultHelp()
{
    std::printf("Faults:\n"
                "Each is given as --fault FAULT or as a line of the control file. N counts\n"
                "the commands of that kind from 1, since the start or since the control\n"
                "file last changed; K is the number of a data block within its file,\n"
                "counted from 1; B is a byte of an answer, counted from 0:\n");
    for (const FaultForm& form : FaultForms) {
        std::printf("  %-20s ", form.usage);
        PrintWrapped(form.help);
    }
    std::printf("\n"
                "What the program then meets (the upload results as the sender names them):\n"
                "  listing               listing-silent: \"No answer from Vantorix...\";\n"
                "                        listing-invalid: \"The Vantorix-answer was not\n"
                "                        correct...\"; hangup-after:N: \"Can't send Command...\"\n"
                "  lists                 silent:p, silent:t: \"No answer...\"; no-tools: no tool\n"
                "                        list\n"
                "  UPL_OK                no fault, nak:K:N with N below 9\n"
                "  UPL_COMMAND_FAILED    hangup-after:N before the upload\n"
                "  UPL_NO_ANSWER         silent-start, silent-header, can-header,\n"
                "                        silent-data-start, silent-from:K, silent-eot,\n"
                "                        silent-close, ack-delay beyond the sender's limits\n"
                "  UPL_WRITE_FAILED      stall-from:K\n"
                "  UPL_REMOTE_CANCEL     can-start, can-block:K\n"
                "  UPL_TOO_MANY_RETRIES  nak:K:9\n"
                "  UPL_NO_SPACE          no-space, or a disk smaller than the file\n"
                "                        (UPL_CANCELLED and UPL_FILE_ERROR come from the PC\n"
                "                        side)\n"
                "  after the upload      store-short:N: UPL_OK, but the listing shows another\n"
                "                        size (vtx put's check after the batch fails)\n"
                "  reading answers       a listing cut short by pause (longer than the\n"
                "                        client's read time), listing-gap, endless or\n"
                "                        hangup-at, one with a bad line (bad-then-talk) or\n"
                "                        one longer than the client's buffer (long:l): \"The\n"
                "                        Vantorix-answer was not correct...\" unless a retry\n"
                "                        after the line went quiet gets a whole listing;\n"
                "                        long:p, long:t: a list too long for the buffer;\n"
                "                        endless:p, endless:t: a list that never ends;\n"
                "                        noise before a listing changes nothing, and neither\n"
                "                        does noise without a line end before a list\n");
}

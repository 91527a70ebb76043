// The command side of the controller: bytes are gathered up to a CR and the
// line is answered. A client purges its own buffers before each command, but
// leftovers of an aborted upload may still reach us, so control bytes in
// front of a command are skipped.
#include <cstdio>
#include <cstring>

#include "sim/sim.h"

constexpr size_t LONGEST_COMMAND = 1024;

enum { SERVE_ON = -1 };

static int ReadWholeFile(const std::string& path, std::string* text)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    char piece[4096];
    size_t got = 0;
    while ((got = std::fread(piece, 1, sizeof piece, file)) > 0)
        text->append(piece, got);
    std::fclose(file);
    return 1;
}

// The controller ends its lines with CR LF whatever the host file uses.
static std::string WithCrLf(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

// An answer of this many bytes or more overfills a client that reads at most
// 262143, with room to spare.
constexpr size_t LONG_ANSWER_BYTES = 262143 + 4096;

// What a controller that had listed another tree a moment ago might still send.
static const char STALE_LISTING[] = "Directory of the controller\r\n(dir) ROM\r\n(dir) ram\r\n (dir) cncprg\r\n"
                                    "  4242 stale.nc\r\nFree RamDisk: 4242\r\nFree FlashDisk: 4242\r\n\r\n";
constexpr uint32_t STALE_TALK_AFTER_MS = 300;

// A top-level folder of empty files in front of the real tree.
static void PadListing(std::string* text)
{
    std::string filler = "(dir) filler\r\n";
    size_t realSize = text->size();
    char line[64];
    for (unsigned number = 1; realSize + filler.size() < LONG_ANSWER_BYTES; number++) {
        std::snprintf(line, sizeof line, " 0 filler%06u.nc\r\n", number);
        filler += line;
    }
    text->insert(text->find("\r\n") + 2, filler);
}

static void PadList(std::string* text)
{
    char line[64];
    for (unsigned number = 1; text->size() < LONG_ANSWER_BYTES; number++) {
        std::snprintf(line, sizeof line, "filler line %06u\r\n", number);
        *text += line;
    }
}

static std::string ListingAnswer(uint32_t count)
{
    std::string text = BuildListing();
    if (FaultHits(FAULT_LISTING_INVALID, count) || FaultHits(FAULT_BAD_THEN_TALK, count)) {
        // An unrecognised line right after the first directory line.
        size_t firstDir = text.find("(dir) ");
        size_t lineEnd = text.find("\r\n", firstDir);
        text.insert(lineEnd + 2, "this line is no listing line\r\n");
    }
    if (!AnswerFaults(FAULT_LONG, 'l', count).empty())
        PadListing(&text);
    return text;
}

static std::string ListAnswer(char letter, uint32_t count)
{
    std::string answer = std::string(1, letter) + "\r\n";
    std::string body;
    int hasBody = ReadWholeFile(letter == 'p' ? Options.params : Options.tools, &body) && !body.empty();
    if (letter == 't' && FindFault(FAULT_NO_TOOLS) != nullptr)
        hasBody = 0;
    if (hasBody)
        answer += WithCrLf(body);
    if (!AnswerFaults(FAULT_LONG, letter, count).empty())
        PadList(&answer);
    return answer;
}

// Answers l, p, t or "d PATH"; ANSWER_SENT unless a fault ended serving.
static int AnswerCommand(char letter, uint32_t count, const std::string& line)
{
    std::string answer;
    if (letter == 'l') {
        answer = ListingAnswer(count);
    } else if (letter == 'd') {
        std::string path = line.size() > 2 && line[1] == ' ' ? line.substr(2) : std::string();
        answer = DeleteControllerFile(path);
    } else {
        answer = ListAnswer(letter, count);
    }
    int sent = SendAnswer(letter, count, answer);
    if (sent == ANSWER_SENT && letter == 'l' && FaultHits(FAULT_BAD_THEN_TALK, count)) {
        SimSleepMs(STALE_TALK_AFTER_MS);
        LineWriteText(STALE_LISTING);
    }
    return sent;
}

// Answers one command line; SERVE_ON, or the exit code when serving ends.
static int RunCommandLine(const std::string& line)
{
    ReloadFaults();
    char letter = line[0];
    int known = std::strchr("lptdu", letter) != nullptr && (line.size() == 1 || letter == 'd' || line[1] == ' ');
    if (!known) {
        SimTrace("unknown command \"%s\"", line.c_str());
        LineWriteText("Unknown command\r\n");
        return SERVE_ON;
    }
    uint32_t count = CountCommand(letter);
    SimTrace("command \"%s\" (#%u of its kind) at %u bit/s", line.c_str(), count, LineClientSpeed());
    int result = SERVE_ON;
    if (FaultHitsCommand(letter, count)) {
        SimTrace("no answer (fault)");
    } else {
        if (const FaultRule* slow = FindFault(FAULT_SLOW))
            SimSleepMs(slow->a);
        if (letter != 'u') {
            if (AnswerCommand(letter, count, line) != ANSWER_SENT)
                return 0;
        } else {
            int received = ReceiveBatch();
            if (Options.onceUpload)
                result = received == RECEIVE_OK ? 0 : 1;
            if (!LineIsOpen())
                return 0;   // hung up during the batch
        }
    }
    const FaultRule* hangup = FindFault(FAULT_HANGUP_AFTER);
    if (hangup != nullptr && CountedCommands() >= hangup->a) {
        LineHangUp();
        return 0;
    }
    return result;
}

int ServeCommands()
{
    if (Options.receiveNow) {
        ReloadFaults();
        int received = ReceiveBatch();
        if (Options.onceUpload)
            return received == RECEIVE_OK ? 0 : 1;
    }
    std::string line;
    for (;;) {
        int byte = LineReadByte(250);
        if (byte == LINE_STOP)
            return 0;
        if (byte == LINE_TIMEOUT || byte == '\n')
            continue;
        if (byte == '\r') {
            if (line.empty())
                continue;
            int result = RunCommandLine(line);
            line.clear();
            if (result != SERVE_ON)
                return result;
            continue;
        }
        if (line.empty() && (byte <= ' ' || byte == 0x7F))
            continue;
        if (line.size() >= LONGEST_COMMAND) {
            line.clear();
            continue;
        }
        line += static_cast<char>(byte);
    }
}

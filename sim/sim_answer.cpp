// How an answer goes out on the line under the faults that shape it: noise
// in front of it, pauses inside it, and endless talk or a hang-up that cuts
// it off. The answer's text itself is built by the command that asked.
#include <algorithm>
#include <vector>

#include "sim/sim.h"

constexpr uint32_t TALK_EVERY_MS = 20;

enum { CUT_PAUSE, CUT_ENDLESS, CUT_HANGUP };

// A place where the answer is interrupted: after `at` bytes.
struct Cut {
    size_t at;
    int kind;
    uint32_t ms;   // of a pause
};

// The same noise for the same command letter and count, so that a run can be
// repeated byte for byte.
static uint32_t NextNoise(uint32_t* state)
{
    *state = *state * 1103515245u + 12345u;
    return (*state >> 16) & 0xFF;
}

static std::string MakeNoise(char letter, uint32_t count, uint32_t length, int inLines)
{
    uint32_t state = static_cast<uint32_t>(letter) * 7919u + count;
    std::string noise;
    uint32_t lineLeft = 1 + NextNoise(&state) % 20;
    while (noise.size() < length) {
        uint32_t byte = NextNoise(&state);
        if (byte == 0 || byte == '\r' || byte == '\n' || (inLines && byte == '('))
            continue;
        noise += static_cast<char>(byte);
        if (inLines && --lineLeft == 0) {
            noise += "\r\n";
            lineLeft = 1 + NextNoise(&state) % 20;
        }
    }
    if (inLines && (noise.size() < 2 || noise.compare(noise.size() - 2, 2, "\r\n") != 0))
        noise += "\r\n";
    return noise;
}

static void SendNoise(char letter, uint32_t count)
{
    for (int kind : {FAULT_NOISE, FAULT_NOISE_LINES}) {
        for (const FaultRule* rule : AnswerFaults(kind, letter, count)) {
            std::string noise = MakeNoise(letter, count, rule->b, kind == FAULT_NOISE_LINES);
            SimTrace("%zu bytes of noise", noise.size());
            LineWrite(noise.data(), noise.size());
        }
    }
}

static std::vector<Cut> FindCuts(char letter, uint32_t count, size_t size)
{
    std::vector<Cut> cuts;
    for (const FaultRule* rule : AnswerFaults(FAULT_PAUSE, letter, count))
        cuts.push_back({std::min<size_t>(rule->b, size), CUT_PAUSE, rule->c});
    for (const FaultRule* gap : FaultsOfKind(FAULT_LISTING_GAP)) {
        if (letter == 'l' && (gap->b == 0 || gap->b == count))
            cuts.push_back({size / 2, CUT_PAUSE, gap->a});
    }
    for (const FaultRule* rule : AnswerFaults(FAULT_ENDLESS, letter, count))
        cuts.push_back({std::min<size_t>(rule->b, size), CUT_ENDLESS, 0});
    for (const FaultRule* rule : AnswerFaults(FAULT_HANGUP_AT, letter, count))
        cuts.push_back({std::min<size_t>(rule->b, size), CUT_HANGUP, 0});
    // A pause at the same byte as an end comes first.
    std::stable_sort(cuts.begin(), cuts.end(), [](const Cut& x, const Cut& y) { return x.at < y.at; });
    return cuts;
}

// The controller never goes quiet again: a slow trickle that no read time
// ends and that would fill a client's buffer only after hours.
static void TalkEndlessly()
{
    SimTrace("talking endlessly");
    while (!SimStopRequested) {
        LineWriteText(".");
        SimSleepMs(TALK_EVERY_MS);
    }
}

int SendAnswer(char letter, uint32_t count, const std::string& answer)
{
    SendNoise(letter, count);
    size_t sent = 0;
    for (const Cut& cut : FindCuts(letter, count, answer.size())) {
        LineWrite(answer.data() + sent, cut.at - sent);
        sent = cut.at;
        if (cut.kind == CUT_PAUSE) {
            SimTrace("pause of %u ms after %zu bytes", cut.ms, sent);
            SimSleepMs(cut.ms);
        } else if (cut.kind == CUT_HANGUP) {
            LineHangUp();
            return ANSWER_HUNG_UP;
        } else {
            TalkEndlessly();
            return ANSWER_TALKED;
        }
    }
    LineWrite(answer.data() + sent, answer.size() - sent);
    if (!AnswerFaults(FAULT_TWICE, letter, count).empty()) {
        SimTrace("the answer once more");
        LineWrite(answer.data(), answer.size());
    }
    for (const FaultRule* rule : AnswerFaults(FAULT_TALK_AFTER, letter, count)) {
        SimSleepMs(rule->b);
        SimTrace("talk that nobody asked for");
        LineWriteText("Vantorix ready\r\n");
    }
    return ANSWER_SENT;
}

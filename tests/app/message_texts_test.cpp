// The table of box texts against the "Messages" section of the user's manual, in both directions.
#include <set>
#include <sstream>

#include "app/message_texts.h"
#include "tests/support/scratch_dir.h"
#include "vbrowser_version.h"

namespace {

// One message of the manual: its text between the outer quotes, the caption named on the line below it, and
// whether an indented explanation follows (after the other messages that share it).
struct ManualMessage {
    std::string text, caption;
    bool explained = false;
    int line = 0;
};

// Line breaks and runs of blanks are one blank: the manual wraps long texts.
std::string Squeeze(const std::string& text)
{
    std::string out;
    for (char c : text) {
        bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (!blank)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    return out;
}

// A message starts with a double quote at the start of a line and ends on the line that ends with one; a
// line (caption "X") may follow it. Lines indented by four blanks explain the messages above them.
std::vector<ManualMessage> ManualMessages()
{
    std::string text = ReadBytes(std::string(TESTS_DIR) + "/../res/Readme.txt.in");
    EXPECT_FALSE(text.empty());
    for (size_t at; (at = text.find("@PROJECT_VERSION@")) != std::string::npos;)
        text.replace(at, 17, VBROWSER_VERSION);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    size_t at = 0;
    while (at + 1 < lines.size() && !(lines[at] == "Messages" && lines[at + 1].starts_with("---")))
        at++;
    EXPECT_LT(at + 1, lines.size()) << "no section \"Messages\"";
    std::vector<ManualMessage> messages;
    for (at += 2; at < lines.size() && !(at + 1 < lines.size() && lines[at + 1].starts_with("---")); at++) {
        const std::string& line = lines[at];
        if (line.starts_with("\"")) {
            ManualMessage message;
            message.line = static_cast<int>(at + 1);
            std::string text = line;
            // A wrapped text goes on in lines indented by one blank.
            while (text.back() != '"' && at + 1 < lines.size() && lines[at + 1].starts_with(" ") &&
                   !lines[at + 1].starts_with("  "))
                text += "\n" + lines[++at];
            EXPECT_GT(text.size(), 1u) << "Readme.txt.in:" << message.line << ": a lone quote";
            EXPECT_EQ(text.back(), '"') << "Readme.txt.in:" << message.line << ": no closing quote";
            message.text = Squeeze(text.substr(1, text.size() - 2));
            messages.push_back(message);
        } else if (line.starts_with("(caption \"") && line.ends_with("\")") && !messages.empty()) {
            messages.back().caption = line.substr(10, line.size() - 12);
        } else if (line.starts_with("    ") && !Squeeze(line).empty()) {
            for (auto m = messages.rbegin(); m != messages.rend() && !m->explained; ++m)
                m->explained = true;
        }
    }
    return messages;
}

// A "%s" of the table matches any text of one character or more.
bool Matches(const std::string& pattern, const std::string& text)
{
    size_t mark = pattern.find("%s");
    if (mark == std::string::npos)
        return pattern == text;
    if (text.compare(0, mark, pattern, 0, mark) != 0)
        return false;
    for (size_t end = mark + 1; end <= text.size(); end++)
        if (Matches(pattern.substr(mark + 2), text.substr(end)))
            return true;
    return false;
}

// What the manual quotes for a row: its text, or the caption of a box whose text is of the moment.
std::string Quoted(const MessageRow& row)
{
    return Squeeze(row.text ? row.text : row.caption);
}

TEST(MessageTexts, EveryIdHasOneRowAndEveryTextIsThereOnce)
{
    std::multiset<int> ids;
    std::multiset<std::string> texts;
    for (uint32_t i = 0; i < MESSAGE_ROW_COUNT; i++) {
        ids.insert(MessageRows[i].id);
        texts.insert(Quoted(MessageRows[i]));
    }
    for (int id = 0; id < MSG_COUNT; id++)
        EXPECT_EQ(ids.count(id), 1u) << "id " << id;
    EXPECT_EQ(ids.size(), static_cast<size_t>(MSG_COUNT));
    for (const std::string& text : texts)
        EXPECT_EQ(texts.count(text), 1u) << text;
}

TEST(MessageTexts, TheManualExplainsEveryTextOfTheTable)
{
    std::vector<ManualMessage> manual = ManualMessages();
    for (uint32_t i = 0; i < MESSAGE_ROW_COUNT; i++) {
        const MessageRow& row = MessageRows[i];
        const std::string quoted = Quoted(row);
        const ManualMessage* found = nullptr;
        for (const ManualMessage& message : manual)
            found = found ? found : Matches(quoted, message.text) ? &message : nullptr;
        if (!found) {
            ADD_FAILURE() << "Readme.txt.in does not list \"" << quoted << "\"";
            continue;
        }
        EXPECT_TRUE(found->explained) << "Readme.txt.in:" << found->line << " has no explanation";
        // A box of its own caption says so below its text; the question is named by its caption.
        const std::string caption = row.text && strcmp(row.caption, "Problem") != 0 ? row.caption : "";
        EXPECT_EQ(found->caption, caption) << "Readme.txt.in:" << found->line;
    }
}

TEST(MessageTexts, TheManualListsNoTextThatTheProgramDoesNotShow)
{
    for (const ManualMessage& message : ManualMessages()) {
        bool shown = false;
        for (uint32_t i = 0; i < MESSAGE_ROW_COUNT; i++)
            shown = shown || Matches(Quoted(MessageRows[i]), message.text);
        EXPECT_TRUE(shown) << "Readme.txt.in:" << message.line << ": \"" << message.text << "\"";
    }
}

TEST(MessageTexts, FilledInPartsAndCuts)
{
    char out[128];
    EXPECT_STREQ(FillMessageText(MSG_LIST_ENDLESS, "tool list", out, sizeof(out)),
                 "The Vantorix did not stop sending the tool list; it was not written.");
    EXPECT_STREQ(FillMessageText(MSG_NO_VALID_FILE, "unused", out, sizeof(out)), "No valid File.");
    EXPECT_STREQ(FillMessageText(MSG_LIST_ENDLESS, "tool list", out, 15), "The Vantorix d");
    EXPECT_STREQ(FillMessageText(MSG_LIST_ENDLESS, "tool list", out, 5), "The ");
    EXPECT_STREQ(MessageText(MSG_DELETE_QUESTION), "");
    EXPECT_STREQ(MessageText(MSG_COUNT), "");
}

}  // namespace

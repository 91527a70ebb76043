// vtx as a whole on a scripted line: what it prints and its status, whatever the controller's answers do in time.
#include <map>
#include <sstream>

#include "cli/vtx_commands.h"
#include "tests/support/rows.h"
#include "tests/support/scripted_device.h"

TEST(Vtx, StatusAndWordsOnAScriptedLine)
{
    ScriptedLine line;
    InstallScriptedLine(&line);
    std::map<std::string, ByteText> replies;
    for (const Row& c : ReadRows("remote/vtx_lines.rows", {{"reply", 3, 3}, {"case", 7, 7}})) {
        if (c[0] == "reply") {
            replies[c[1]] = c.Timed(2);
            continue;
        }
        SCOPED_TRACE(c.Where());
        std::vector<std::string> args = {"vtx", "--port", "COM1"}, names;
        std::istringstream words(c[2]), sent(c[6]);
        for (std::string word; words >> word;)
            args.push_back(word);
        for (std::string name; sent >> name;)
            names.push_back(name);
        size_t commands = 0;
        line.pending.clear(), line.arriving.clear();
        line.gone = 0;
        line.onWrite = [&](ScriptedLine& peer, const unsigned char*, uint32_t) {
            if (commands < names.size() && names[commands] == "unplugged")
                peer.gone = 1;   // the adapter leaves behind the command it took
            else if (commands < names.size())
                QueueScript(peer, replies.at(names[commands]));
            commands++;
        };
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = VtxMain(static_cast<int>(argv.size()), argv.data());
        std::string out = testing::internal::GetCapturedStdout(), err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, std::stoi(c[3]));
        EXPECT_EQ(err, c[4]);
        EXPECT_EQ(out, c[5]);
        EXPECT_EQ(commands, names.size());
    }
    InstallScriptedLine(nullptr);
}

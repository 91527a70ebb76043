// The batch sender on a scripted line; most cases are transcripts in tests/upload/transcripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"
#include "serial/upload_steps.h"
#include "serial/upload_worker.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"
#include "tests/upload/line_bytes.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Words = std::vector<std::string>;

Bytes FileContent(uint32_t size)
{
    Bytes content(size);
    for (uint32_t i = 0; i < size; i++)
        content[i] = static_cast<unsigned char>(i * 7 + 3);
    return content;
}

// <ACK> <NAK> <CAN> <EOT> <CR> <STX> <0> <FF> are those bytes, "-" nothing; "*N" at the end repeats.
Bytes Decode(std::string token)
{
    size_t star = token.rfind('*');
    int repeat = star != std::string::npos && token.find('>', star) == std::string::npos ? std::stoi(token.substr(star + 1)) : 1;
    const std::pair<std::string, std::string> names[] = {{"<ACK>", "\x06"}, {"<NAK>", "\x15"}, {"<CAN>", "\x18"}, {"<EOT>", "\x04"},
                                                         {"<CR>", "\r"}, {"<STX>", "\x02"}, {"<0>", std::string(1, 0)}, {"<FF>", "\xFF"}};
    Bytes one = DecodeNames<Bytes>(token.substr(0, repeat > 1 ? star : token.size()), names), all;
    for (int i = 0; i < repeat; i++)
        all.insert(all.end(), one.begin(), one.end());
    return all;
}

std::string Join(const Words& words, size_t from = 0)
{
    std::string text;
    for (size_t i = from; i < words.size(); i++)
        text += (i > from ? " " : "") + words[i];
    return text;
}

// A well-behaved receiver that asks for one mode and keeps what it gets.
struct YmodemPeer {
    int crcMode = 1, closed = 0;
    uint32_t nextBlock = 1;
    std::vector<std::pair<std::string, uint32_t>> names;   // block 0: path and size
    std::vector<Bytes> files;                               // data, cut to the size at EOT

    std::string Answer(const Bytes& write)
    {
        std::string start = crcMode ? "CC" : "\x15";
        if (write.size() == 2 && write[0] == 'u')
            return start;
        if (write.size() == 1 && write[0] == UPL_EOT) {
            files.back().resize(std::min<size_t>(files.back().size(), names.back().second));
            nextBlock = 1;
            return "\x06" + start;
        }
        if (write.size() != 132 && write.size() != 1029)
            return !write.empty() && write[0] == UPL_CAN ? "" : "\x15";
        const char* text = reinterpret_cast<const char*>(write.data() + 3);
        if (write[1] == 0 && nextBlock == 1) {
            if (!(closed = text[0] == 0))
                names.emplace_back(text, static_cast<uint32_t>(strtoul(text + strlen(text) + 1, nullptr, 10))), files.emplace_back();
            return closed ? "\x06" : "\x06" "C";
        }
        if (write[1] != (nextBlock & 0xFF))
            return "\x15";
        files.back().insert(files.back().end(), write.begin() + 3, write.end() - (write.size() == 1029 ? 2 : 1));
        nextBlock++;
        return "\x06";
    }
};

class UploadRig : public testing::Test {
protected:
    ScriptedLine line;
    SerialPort* port = nullptr;
    UploadJob* job = nullptr;
    std::vector<Bytes> writes;   // each write of the sender
    std::vector<std::pair<unsigned, intptr_t>> notices;
    ScratchDir dir;
    std::function<std::string(size_t index, const Bytes& bytes)> peer;   // answers write index

    void SetUp() override
    {
        InstallScriptedLine(&line);
        ASSERT_NE(port = ZemSerComOpen("COM1", 115200), nullptr);
        job = new UploadJob();
        job->port = port;
        job->ramBudget = job->flashBudget = 0xFFFFFFFFu;
        static UploadNoticeSink sink;
        sink = {[](void* rig, unsigned id, intptr_t param) { static_cast<UploadRig*>(rig)->notices.emplace_back(id, param); }, this};
        UploadSetNoticeSink(&sink);
        line.onWrite = [this](ScriptedLine& l, const unsigned char* bytes, uint32_t count) {
            Bytes written(bytes, bytes + count);
            std::string answer = peer ? peer(writes.size(), written) : std::string();
            l.Queue(Bytes(answer.begin(), answer.end()));
            writes.push_back(std::move(written));
        };
    }
    void TearDown() override
    {
        UploadSetNoticeSink(nullptr);
        ZemSerComClose(port);
        InstallScriptedLine(nullptr);
        delete job;
    }
    std::string MakeFile(const std::string& name, uint32_t size)
    {
        Bytes content = FileContent(size);
        std::ofstream(dir.File(name), std::ios::binary).write(reinterpret_cast<const char*>(content.data()), size);
        return dir.File(name);
    }
    void SetFiles(const Words& paths)
    {
        memset(job->fileList, 0, sizeof(job->fileList));
        for (size_t at = 0, i = 0; i < paths.size(); at += paths[i++].size() + 1)
            memcpy(job->fileList + at, paths[i].c_str(), paths[i].size() + 1);
    }
    std::vector<intptr_t> Positions() const
    {
        std::vector<intptr_t> positions;
        for (const auto& notice : notices)
            if (notice.first == UM_PROGRESS_SET)
                positions.push_back(notice.second);
        return positions;
    }
};

struct Transcript {
    std::string name;
    std::vector<Words> lines;   // words of each directive
};

void PrintTo(const Transcript& row, std::ostream* out) { *out << row.name; }

std::vector<Transcript> LoadTranscripts()
{
    std::vector<Transcript> all;
    for (const fs::directory_entry& file : fs::directory_iterator(UPLOAD_TRANSCRIPTS))
        for (std::ifstream in(file.path()); in.good();) {
            std::string text, word;
            std::getline(in, text);
            std::istringstream words(text);
            Words line;
            while (words >> word && word[0] != '#')
                line.push_back(word);
            if (line.size() == 2 && line[0] == "case")
                all.push_back({line[1], {}});
            else if (!line.empty() && !all.empty())
                all.back().lines.push_back(line);
        }
    return all;
}

class UploadTranscripts : public UploadRig, public testing::WithParamInterface<Transcript> {};

std::string NoticeText(const std::pair<unsigned, intptr_t>& notice)
{
    const std::pair<unsigned, const char*> names[] = {{UM_SET_FILE_TEXT, "FILE"}, {UM_SET_STATUS_TEXT, "STATUS"},
                                                      {UM_PROGRESS_INIT, "INIT"}, {UM_PROGRESS_SET, "SET"}};
    auto named = std::find_if(std::begin(names), std::end(names), [&](const auto& n) { return n.first == notice.first; });
    return (named == std::end(names) ? "?" : named->second) + (":" + std::to_string(notice.second));
}

TEST_P(UploadTranscripts, EndAsTranscribed)
{
    Words paths, replies;
    std::vector<uint32_t> sizes;
    std::vector<Words> events;
    YmodemPeer receiver;
    int scripted = 1, readsAtCancel = -1, worker = 0, busyWhileWriting = 1;
    for (const Words& w : GetParam().lines) {
        if (w[0] == "dir")
            strcpy(job->targetDir, w[1].c_str());
        else if (w[0] == "budget")
            job->ramBudget = std::stoul(w[1]), job->flashBudget = std::stoul(w[2]);
        else if (w[0] == "file" && (w[1] == "dir" || w[1] == "missing")) {
            paths.push_back(dir.File(Join(w, 2))), sizes.push_back(0);
            if (w[1] == "dir")
                fs::create_directory(paths.back());
        } else if (w[0] == "file") {
            sizes.push_back(std::stoul(w[1]));
            paths.push_back(MakeFile(Join(w, 2), sizes.back()));
            // An old write time, so a rewrite within the file system's clock tick still shows.
            fs::last_write_time(paths.back(), fs::last_write_time(paths.back()) - std::chrono::hours(1));
        } else if (w[0] == "peer")
            scripted = 0, receiver.crcMode = w[1] == "crc";
        else if (w[0] == "replies")
            replies.assign(w.begin() + 1, w.end());
        else if (w[0] == "at")
            events.push_back(w);
        else if (w[0] == "prefail")
            line.failWrites = 1;
        else if (w[0] == "worker")   // the worker thread's body, not the bare batch; "busy" takes the port first
            worker = 1, ZemSerComSetBusy(port, w.size() > 1);
    }
    SetFiles(paths);
    for (const Words& w : GetParam().lines)
        if (w[0] == "unterminated")
            memset(job->fileList, 'x', sizeof(job->fileList));
    peer = [&](size_t index, const Bytes& bytes) {
        busyWhileWriting &= ZemSerComIsBusy(port);
        Bytes answer = scripted ? (index < replies.size() ? Decode(replies[index]) : Bytes()) : Decode(receiver.Answer(bytes));
        for (const Words& e : events) {
            const std::string& what = std::stoul(e[1]) == index ? e[2] : "";
            if (what == "cancel")
                ZemStoreByte(&job->cancelRequested, 1), readsAtCancel = line.reads;
            else if (what == "fail" || what == "short")
                (what == "fail" ? line.failWrites : line.shortWrites) = 1;
            else if (what == "also")
                answer.push_back(static_cast<unsigned char>(e[3][0]));
            else if (what == "resize")
                fs::resize_file(paths[0], std::stoul(e[3]));
            else if (what == "delete")
                fs::remove(paths[0]);
            else if (what == "replace")
                fs::rename(MakeFile("other.nc", sizes[0]), paths[0]);
            else if (what == "rewrite")
                std::fstream(paths[0], std::ios::in | std::ios::out | std::ios::binary).write("NEW", 3);
        }
        return std::string(answer.begin(), answer.end());
    };
    ZemStoreResult(&job->result, 77);
    int result = worker ? RunUploadWorker(job) : UploadBatch(job);
    for (const Words& w : GetParam().lines) {
        SCOPED_TRACE(Join(w));
        Words got;   // what happened, in the words of the directive
        const std::string& key = w[0];
        if (key == "result" || key == "slot")
            got = {UploadResultName(key == "result" ? result : ZemLoadResult(&job->result))};
        else if (key == "port")   // busy while writing, busy after, bytes left unread, reads
            got = {std::to_string(busyWhileWriting), std::to_string(ZemSerComIsBusy(port)), std::to_string(line.pending.size()),
                   std::to_string(line.reads)};
        else if (key == "lengths" || key == "writes" || key == "count") {
            for (const Bytes& write : writes)
                got.push_back(std::to_string(write.size()));
            if (key != "lengths")   // writes: how many; count LENGTH: how many of that length
                got = key == "writes" ? Words{std::to_string(got.size())} : Words{w[1], std::to_string(std::count(got.begin(), got.end(), w[1]))};
        } else if (key == "time" || key == "slept") {
            uint32_t value = key == "time" ? line.clock.now : line.clock.slept;
            got = value >= std::stoul(w[1]) && value <= std::stoul(w[2]) ? Words{w[1], w[2]} : Words{std::to_string(value)};
        } else if (key == "written" || key == "line") {
            Bytes expected;
            std::vector<Bytes> pieces;
            for (size_t i = 1; key == "written" && i < w.size(); i++)
                pieces.push_back(Decode(w[i]));
            if (key == "line") {   // the whole exchange of file 0: mode of its frames, of the close, header name
                Bytes content = FileContent(sizes[0]), header(w[3].begin(), w[3].end());
                header.push_back(0);
                for (char digit : std::to_string(sizes[0]))
                    header.push_back(static_cast<unsigned char>(digit));
                pieces = {{'u', '\r'}, Frame(w[1] == "crc", 0, header)};
                for (size_t at = 0, block = w[1] == "crc" ? 1024 : 128; at < content.size(); at += block)
                    pieces.push_back(Frame(w[1] == "crc", static_cast<unsigned char>(at / block + 1),
                                           Bytes(content.begin() + at, content.begin() + std::min(content.size(), at + block))));
                pieces.insert(pieces.end(), {{UPL_EOT}, Frame(w[2] == "crc", 0, Bytes())});
            }
            for (const Bytes& piece : pieces)
                expected.insert(expected.end(), piece.begin(), piece.end());
            EXPECT_EQ(line.written, expected);
            continue;
        } else if (key == "purges" || key == "closed")
            got = {std::to_string(key == "purges" ? line.purges : receiver.closed)};
        else if (key == "filetext" || key == "statustext")
            got = {key == "filetext" ? UploadFileText : UploadStatusText};
        else if (key == "positions")
            for (intptr_t position : Positions())
                got.push_back(std::to_string(position));
        else if (key == "notices" || key == "lastnotice") {
            for (const auto& notice : notices)
                got.push_back(NoticeText(notice));
            if (key == "lastnotice")
                got.erase(got.begin(), got.end() - std::min<size_t>(got.size(), 1));
        } else if (key == "received") {   // files whole, the first under the name given
            ASSERT_EQ(receiver.files.size(), std::stoul(w[1]));
            for (size_t i = 0; i < receiver.files.size(); i++)
                EXPECT_EQ(receiver.files[i], FileContent(sizes[i])) << i;
            got = {std::to_string(receiver.files.size())};
            if (w.size() > 2 && receiver.names[0].second == sizes[0])
                got.push_back(receiver.names[0].first);
        } else if (key == "tail") {   // the last writes
            ASSERT_GE(writes.size(), w.size() - 1);
            for (size_t i = 1; i < w.size(); i++)
                EXPECT_EQ(writes[writes.size() - w.size() + i], Decode(w[i])) << i;
            continue;
        } else if (key == "drain")   // reads after the cancel: the reply, then the drain
            got = {std::to_string(line.reads - readsAtCancel) + (line.pending.empty() ? "" : "+")};
        else if (key == "told")   // the receiver was told with CAN to stop
            got = {std::to_string(ZemLoadByte(&job->cancelSent))};
        else if (key == "left")
            got = {std::to_string(job->ramBudget), std::to_string(job->flashBudget)};
        else if (key == "reason") {   // the sender's reason in words
            char words[512];
            std::istringstream sentence(UploadFailureWords(result, &job->failure, words, sizeof(words)));
            for (std::string word; sentence >> word;)
                got.push_back(word);
        }
        else if (std::string(" dir budget file peer replies at prefail unterminated worker ").find(" " + key + " ") != std::string::npos)
            continue;
        else
            ADD_FAILURE() << "unknown directive";
        EXPECT_EQ(Join(got), Join(w, 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UploadTranscripts, testing::ValuesIn(LoadTranscripts()),
                         [](const testing::TestParamInfo<Transcript>& info) { return info.param.name; });

using UploadBatches = UploadRig;

TEST_F(UploadBatches, ProgressNearFourGibibytesDoesNotOverflow)
{
    // A sparse file of 4 GiB - 1024 bytes; the receiver stops after 17000 blocks, past offset * 256 leaving 32 bits.
    const uint32_t size = 0xFFFFFC00u, blocks = 17000;
    std::string path = MakeFile("huge.bin", 0);
    fs::resize_file(path, size);
    SetFiles({path});
    uint32_t header = 0;
    peer = [&](size_t index, const Bytes& bytes) -> std::string {
        if (index == 1)
            header = static_cast<uint32_t>(strtoul(reinterpret_cast<const char*>(bytes.data()) + 3 + 9, nullptr, 10));
        return index == 0 ? "CC" : index == 1 ? "\x06" "C" : index - 1 < blocks ? "\x06" : "\x18";
    };
    EXPECT_EQ(UploadBatch(job), UPL_REMOTE_CANCEL);
    EXPECT_EQ(header, size);
    std::vector<intptr_t> positions = Positions();
    ASSERT_EQ(positions.size(), blocks);
    for (uint32_t block = 0; block < blocks; block++)
        ASSERT_EQ(positions[block], static_cast<intptr_t>(uint64_t(block) * 1024 * 256 / size)) << block;
}

TEST_F(UploadBatches, WaitLimitsAboveThirtySecondsAreCut)
{
    EXPECT_EQ(UploadWaitReply(port, 100000, 0), REPLY_NONE);
    EXPECT_GE(line.clock.now, 30000u);
    EXPECT_LE(line.clock.now, 31000u);
    line.clock.now = 0xFFFFFF00u;   // a wrap of the tick count does no harm
    EXPECT_EQ(UploadWaitStart(port, 2000, 1), START_NONE);
    EXPECT_GE(line.clock.now - 0xFFFFFF00u, 2000u);
    EXPECT_LE(line.clock.now - 0xFFFFFF00u, 3000u);
}

TEST(UploadTexts, LongNamesKeepStartAndEndAroundAnEllipsis)
{
    std::string name = std::string(150, 'a') + std::string(100, 'b') + ".nc", fits(243, 'f'), wide;   // 253 characters
    SetUploadFileText(name.c_str());
    std::string text = UploadFileText;
    EXPECT_EQ(text.size(), 12u + 243u);
    EXPECT_EQ(text.substr(0, 12 + 120), "Uploading : " + std::string(120, 'a'));
    EXPECT_NE(text.find("..."), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 5), "bb.nc");
    SetUploadFileText(fits.c_str());
    EXPECT_EQ(std::string(UploadFileText), "Uploading : " + fits);
    for (int i = 0; i < 100; i++)   // never cut in the middle of a two-byte character
        wide += "\xC3\xA4";
    char out[64];
    ShortenFileName(wide.c_str(), out, 20);
    std::string shortened = out;
    size_t dots = shortened.find("...");
    EXPECT_LE(shortened.size(), 20u);
    ASSERT_NE(dots, std::string::npos);
    EXPECT_EQ(dots % 2 + (shortened.size() - dots - 3) % 2, 0u);
    EXPECT_EQ(static_cast<unsigned char>(shortened.back()), 0xA4);
}

TEST(UploadTexts, CopiesAreWholeAndCutToTheCallersBuffer)
{
    const std::string a(200, 'a'), b = "12 from 34 Bytes uploaded";
    UploadPublishText(UploadStatusText, b.c_str());
    char small[6];
    UploadCopyText(UploadStatusText, small, sizeof(small));
    EXPECT_STREQ(small, "12 fr");
    std::atomic<int> done{0};   // a reader never sees half a text while the writer rewrites it
    std::thread writer([&] {
        for (int i = 0; !done; i++)
            UploadPublishText(UploadStatusText, (i & 1 ? a : b).c_str());
    });
    int torn = 0;
    for (int i = 0; i < 20000; i++) {
        char copy[UPLOAD_TEXT_SIZE];
        UploadCopyText(UploadStatusText, copy, sizeof(copy));
        torn += copy != a && copy != b;
    }
    done = 1;
    writer.join();
    EXPECT_EQ(torn, 0);
}

}   // namespace

// The batch sender on a scripted line; most cases are transcripts in tests/upload/transcripts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "app/upload_report.h"
#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"
#include "serial/upload_steps.h"
#include "serial/upload_worker.h"
#include "tests/support/case_blocks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"
#include "tests/upload/ymodem_peer.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

class UploadRig : public testing::Test {
protected:
    ScriptedLine line;
    SerialPort* port = nullptr;
    UploadJob* job = nullptr;
    std::vector<Bytes> writes;   // each write of the sender
    std::vector<std::pair<unsigned, intptr_t>> notices;
    ScratchDir dir;
    std::function<ByteText(size_t index, const Bytes& bytes)> peer;   // answers write index, in time
    std::string pattern;   // what the PC files repeat ("": byte i * 7 + 3 at offset i)

    Bytes Content(uint32_t size) const
    {
        Bytes content = FileContent(size);
        for (uint32_t i = 0; i < size && !pattern.empty(); i++)
            content[i] = static_cast<unsigned char>(pattern[i % pattern.size()]);
        return content;
    }

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
            QueueScript(l, peer ? peer(writes.size(), written) : ByteText{});
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
        Bytes content = Content(size);
        std::ofstream(dir.File(name), std::ios::binary).write(reinterpret_cast<const char*>(content.data()), size);
        return dir.File(name);
    }
    void SetFiles(const Words& paths)
    {
        uint32_t used = 0;
        job->fileList[0] = 0;
        for (const std::string& path : paths)
            ASSERT_TRUE(AppendFileName(job->fileList, FILE_LIST_ROOM, &used, path.c_str())) << path;
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

// The directives of a transcript (tests/upload/transcripts/README.md), each with how many words follow it.
const std::vector<VerbShape> Inputs = {
    {"target-dir", 1, 1},  {"budget", 2, 2},     {"file", 2, ANY_NUMBER}, {"folder", 1, ANY_NUMBER}, {"missing-file", 1, ANY_NUMBER},
    {"content", 1, 1},     {"receiver", 1, 1},    {"replies", 1, ANY_NUMBER}, {"fail-write", 1, 1}, {"cut-write", 1, 1},
    {"unterminated-list", 0, 0}, {"run", 1, 1}, {"busy-port", 0, 0},
    // What happens once a write has gone out: the write's index, and for two of them one more word.
    {"cancel-after-write", 1, 1}, {"extra-reply-after-write", 2, 2}, {"resize-file-after-write", 2, 2},
    {"delete-file-after-write", 1, 1}, {"replace-file-after-write", 1, 1}, {"rewrite-file-after-write", 1, 1},
};
const std::vector<VerbShape> Checks = {
    {"result", 1, 1},           {"job-result", 1, 1},     {"busy-while-writing", 1, 1}, {"busy-after", 1, 1},
    {"unread-bytes", 1, 1},     {"reads", 1, 1},          {"write-lengths", 0, ANY_NUMBER}, {"write-count", 1, 1},
    {"writes-of-length", 2, 2}, {"virtual-ms", 2, 2},     {"slept-ms", 2, 2},           {"line-bytes", 1, 1},
    {"last-writes", 1, ANY_NUMBER}, {"purges", 1, 1},       {"batch-closed", 1, 1},
    {"received-files", 1, 1},   {"first-header-path", 1, 1}, {"first-header-size", 1, 1}, {"file-text", 1, ANY_NUMBER}, {"status-text", 1, ANY_NUMBER},
    {"progress-positions", 1, ANY_NUMBER}, {"notices", 1, ANY_NUMBER}, {"last-notice", 1, 1},
    {"reads-after-cancel", 1, 1}, {"cancel-sent", 1, 1}, {"ram-left", 1, 1}, {"flash-left", 1, 1},
    {"sender-reason", 0, ANY_NUMBER}, {"result-message", 0, ANY_NUMBER},
};
int IsInput(const std::string& verb)
{
    return std::any_of(Inputs.begin(), Inputs.end(), [&](const VerbShape& shape) { return shape.verb == verb; });
}

// Every transcript file's cases, in file name order; what cannot be read is kept for the test of the files.
std::vector<std::string> transcriptProblems;
std::vector<CaseBlock> LoadTranscripts()
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& file : fs::directory_iterator(UPLOAD_TRANSCRIPTS))
        if (file.path().extension() == ".txt")
            files.push_back(file.path());
    std::sort(files.begin(), files.end());
    std::vector<CaseBlock> all;
    std::vector<VerbShape> verbs = Inputs;
    verbs.insert(verbs.end(), Checks.begin(), Checks.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<CaseBlock> cases = ParseCaseBlocks(in, file.string(), verbs, &transcriptProblems);
        all.insert(all.end(), cases.begin(), cases.end());
    }
    return all;
}

const std::vector<CaseBlock>& Transcripts()
{
    static const std::vector<CaseBlock> all = LoadTranscripts();
    return all;
}

TEST(UploadTranscriptFiles, EveryLineReads)
{
    EXPECT_GE(Transcripts().size(), 50u);
    EXPECT_EQ(transcriptProblems, std::vector<std::string>{});
}

class UploadTranscripts : public UploadRig, public testing::WithParamInterface<CaseBlock> {};

std::string NoticeText(const std::pair<unsigned, intptr_t>& notice)
{
    const std::pair<unsigned, const char*> names[] = {{UM_SET_FILE_TEXT, "FILE"}, {UM_SET_STATUS_TEXT, "STATUS"},
                                                      {UM_PROGRESS_INIT, "INIT"}, {UM_PROGRESS_SET, "SET"}};
    auto named = std::find_if(std::begin(names), std::end(names), [&](const auto& n) { return n.first == notice.first; });
    std::string text = named == std::end(names) ? "?" : named->second;
    return text.append(":").append(std::to_string(notice.second));
}

// The items of a list as the checks write them, blanks between.
template <class List, class Show>
std::string Listed(const List& list, Show show)
{
    std::string text;
    for (const auto& item : list)
        text.append(text.empty() ? "" : " ").append(show(item));
    return text;
}

TEST_P(UploadTranscripts, EndAsTranscribed)
{
    const CaseBlock& transcript = GetParam();
    Words paths;
    std::vector<uint32_t> sizes;
    std::vector<ByteText> replies;
    std::vector<CaseLine> afterWrites;
    std::map<size_t, int*> armWrite;   // write index -> the line's counter that makes it fail or end short
    YmodemPeer receiver;
    int scripted = 1, readsAtCancel = -1, worker = 0, busyWhileWriting = 1, unterminated = 0;
    for (const CaseLine& l : transcript.lines)   // before the files are made
        pattern = l.verb == "content" ? TextBytes(l.rest, transcript.Where(l.line)) : pattern;
    for (const CaseLine& l : transcript.lines) {
        const std::string& verb = l.verb;
        if (verb == "target-dir")
            strcpy(job->targetDir, TextBytes(l.rest, transcript.Where(l.line)).c_str());
        else if (verb == "budget")
            job->ramBudget = std::stoul(l.words[0]), job->flashBudget = std::stoul(l.words[1]);
        else if (verb == "file" || verb == "folder" || verb == "missing-file") {
            sizes.push_back(verb == "file" ? std::stoul(l.words[0]) : 0);
            std::string name = TextBytes(verb == "file" ? l.rest.substr(l.rest.find(' ') + 1) : l.rest, transcript.Where(l.line));
            paths.push_back(verb == "file" ? MakeFile(name, sizes.back()) : dir.File(name));
            if (verb == "folder")
                fs::create_directory(paths.back());
            if (verb == "file")   // an old write time, so a rewrite within the file system's clock tick still shows
                fs::last_write_time(paths.back(), fs::last_write_time(paths.back()) - std::chrono::hours(1));
        } else if (verb == "receiver")
            scripted = 0, receiver.crcMode = l.words[0] == "crc";
        else if (verb == "replies")
            for (const std::string& word : l.words) {
                replies.emplace_back();
                std::string problem = ReadByteText(word, &replies.back());
                if (!problem.empty())
                    ADD_FAILURE_AT(transcript.file.c_str(), l.line) << problem;
            }
        else if (verb.ends_with("-after-write"))
            afterWrites.push_back(l);
        else if (verb == "fail-write" || verb == "cut-write")
            armWrite[std::stoul(l.words[0])] = verb == "fail-write" ? &line.failWrites : &line.shortWrites;
        else if (verb == "unterminated-list")
            unterminated = 1;
        else if (verb == "run")
            worker = l.words[0] == "worker";
        else if (verb == "busy-port")
            ZemSerComSetBusy(port, 1);
    }
    SetFiles(paths);
    if (unterminated)
        memset(job->fileList, 'x', sizeof(job->fileList));
    auto arm = [&](size_t index) {
        if (armWrite.count(index))
            *armWrite[index] = 1;
    };
    arm(0);
    peer = [&](size_t index, const Bytes& bytes) {
        busyWhileWriting &= ZemSerComIsBusy(port);
        ByteText answer = scripted ? (index < replies.size() ? replies[index] : ByteText{}) : ByteText{receiver.AnswerText(bytes), {}};
        for (const CaseLine& event : afterWrites) {
            const std::string& what = std::stoul(event.words[0]) == index ? event.verb : "";
            if (what == "cancel-after-write")
                ZemStoreByte(&job->cancelRequested, 1), readsAtCancel = line.reads;
            else if (what == "extra-reply-after-write")
                answer.bytes += event.words[1][0];
            else if (what == "resize-file-after-write")
                fs::resize_file(paths[0], std::stoul(event.words[1]));
            else if (what == "delete-file-after-write")
                fs::remove(paths[0]);
            else if (what == "replace-file-after-write")
                fs::rename(MakeFile("other.nc", sizes[0]), paths[0]);
            else if (what == "rewrite-file-after-write")
                std::fstream(paths[0], std::ios::in | std::ios::out | std::ios::binary).write("NEW", 3);
        }
        arm(index + 1);
        return answer;
    };
    ZemStoreResult(&job->result, 77);
    int result = worker ? RunUploadWorker(job) : UploadBatch(job);

    auto lengths = [&] { return Listed(writes, [](const Bytes& write) { return std::to_string(write.size()); }); };
    auto within = [](uint64_t value, const CaseLine& l) {   // the check's words while in range, else the value
        if (value < std::stoul(l.words[0]))
            return std::to_string(value);
        return value > std::stoul(l.words[1]) ? std::to_string(value) : l.rest;
    };
    // What happened, in the words of the check.
    const std::map<std::string, std::function<std::string(const CaseLine&)>> checks = {
        {"result", [&](auto&) { return UploadResultName(result); }},
        {"job-result", [&](auto&) { return UploadResultName(ZemLoadResult(&job->result)); }},
        {"busy-while-writing", [&](auto&) { return std::to_string(busyWhileWriting); }},
        {"busy-after", [&](auto&) { return std::to_string(ZemSerComIsBusy(port)); }},
        {"unread-bytes", [&](auto&) { return std::to_string(line.pending.size()); }},
        {"reads", [&](auto&) { return std::to_string(line.reads); }},
        {"write-lengths", [&](auto&) { return lengths(); }},
        {"write-count", [&](auto&) { return std::to_string(writes.size()); }},
        {"writes-of-length", [&](const CaseLine& l) {
             auto ofLength = [&](const Bytes& write) { return std::to_string(write.size()) == l.words[0]; };
             return l.words[0] + " " + std::to_string(std::count_if(writes.begin(), writes.end(), ofLength));
         }},
        {"virtual-ms", [&](const CaseLine& l) { return within(line.clock.now, l); }},
        {"slept-ms", [&](const CaseLine& l) { return within(line.clock.slept, l); }},
        {"purges", [&](auto&) { return std::to_string(line.purges); }},
        {"batch-closed", [&](auto&) { return std::to_string(receiver.closed); }},
        {"received-files", [&](auto&) {   // and each of them whole
             for (size_t i = 0; i < std::min(receiver.files.size(), sizes.size()); i++)
                 EXPECT_EQ(receiver.files[i], Content(sizes[i])) << "file " << i;
             return std::to_string(receiver.files.size());
         }},
        {"first-header-path", [&](auto&) { return receiver.names.empty() ? "(no file)" : receiver.names[0].first; }},
        {"first-header-size", [&](auto&) { return receiver.names.empty() ? "" : std::to_string(receiver.names[0].second); }},
        {"file-text", [&](auto&) { return std::string(UploadFileText); }},
        {"status-text", [&](auto&) { return std::string(UploadStatusText); }},
        {"progress-positions", [&](auto&) { return Listed(Positions(), [](intptr_t at) { return std::to_string(at); }); }},
        {"notices", [&](auto&) { return Listed(notices, NoticeText); }},
        {"last-notice", [&](auto&) { return notices.empty() ? "" : NoticeText(notices.back()); }},
        {"reads-after-cancel", [&](auto&) { return std::to_string(line.reads - readsAtCancel); }},
        {"cancel-sent", [&](auto&) { return std::to_string(ZemLoadByte(&job->cancelSent)); }},   // the receiver told to stop
        {"ram-left", [&](auto&) { return std::to_string(job->ramBudget); }},
        {"flash-left", [&](auto&) { return std::to_string(job->flashBudget); }},
        {"result-message", [&](auto&) { const char* said = UploadResultMessage(result); return std::string(said ? said : ""); }},
        {"sender-reason", [&](auto&) {   // the sender's reason in words
             char words[512];
             return std::string(UploadFailureWords(result, &job->failure, words, sizeof(words)));
         }},
    };
    for (const CaseLine& l : transcript.lines) {
        testing::ScopedTrace trace(transcript.file.c_str(), l.line, l.verb + " " + l.rest);
        if (l.verb == "line-bytes") {
            EXPECT_EQ(line.Written(), TextBytes(l.rest, transcript.Where(l.line)));
        } else if (l.verb == "last-writes") {
            ASSERT_GE(writes.size(), l.words.size());
            for (size_t i = writes.size() - l.words.size(), first = i; i < writes.size(); i++)   // write i, from 0
                EXPECT_EQ(std::string(writes[i].begin(), writes[i].end()), TextBytes(l.words[i - first])) << i;
        } else if (!IsInput(l.verb)) {
            EXPECT_EQ(checks.at(l.verb)(l), TextBytes(l.rest, transcript.Where(l.line)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UploadTranscripts, testing::ValuesIn(Transcripts()),
                         [](const testing::TestParamInfo<CaseBlock>& info) { return info.param.name; });

TEST(UploadFileList, NamesFillTheRoomAndTheListStaysClosed)
{
    static char list[UPLOAD_FILE_LIST_SIZE];
    memset(list, 'x', sizeof(list));
    uint32_t used = 0;
    EXPECT_EQ(AppendFileName(list, 10, &used, "ab"), 1);
    EXPECT_EQ(AppendFileName(list, 10, &used, ""), 0);
    EXPECT_EQ(AppendFileName(list, 10, &used, "cdefghi"), 0);   // with its NUL 8 bytes, 7 left
    EXPECT_EQ(AppendFileName(list, 10, &used, "cdefgh"), 1);    // the closing NUL goes behind the room
    EXPECT_EQ(used, 10u);
    EXPECT_EQ(AppendFileName(list, 10, &used, "h"), 0);
    EXPECT_EQ(memcmp(list, "ab\0cdefgh\0\0x", 12), 0);
    EXPECT_STREQ(NextFileName(list), "cdefgh");
    EXPECT_STREQ(NextFileName(NextFileName(list)), "");
    EXPECT_EQ(FileListBytes(list), 11u);
    EXPECT_EQ(FileListIsClosed(list), 1);
}

TEST(UploadFileList, AListIsClosedOnlyByAnEmptyNameInsideItsField)
{
    static char list[UPLOAD_FILE_LIST_SIZE];
    memset(list, 'x', sizeof(list));
    EXPECT_EQ(FileListIsClosed(list), 0);
    list[UPLOAD_FILE_LIST_SIZE - 1] = 0;   // a name that ends at the last byte, and nothing behind it
    EXPECT_EQ(FileListIsClosed(list), 0);
    list[UPLOAD_FILE_LIST_SIZE - 2] = 0;
    EXPECT_EQ(FileListIsClosed(list), 1);
    EXPECT_EQ(FileListBytes(list), uint32_t(UPLOAD_FILE_LIST_SIZE));
    list[0] = 0;
    EXPECT_EQ(FileListIsClosed(list), 1);
    EXPECT_EQ(FileListBytes(list), 1u);
}

using UploadBatches = UploadRig;

TEST_F(UploadBatches, ProgressNearFourGibibytesDoesNotOverflow)
{
    // A sparse file of 4 GiB - 1024 bytes; the receiver stops after 17000 blocks, past offset * 256 leaving 32 bits.
    const uint32_t size = 0xFFFFFC00u, blocks = 17000;
    std::string path = MakeFile("huge.bin", 0);
    fs::resize_file(path, size);
    SetFiles({path});
    uint32_t header = 0;
    peer = [&](size_t index, const Bytes& bytes) -> ByteText {
        if (index == 1)
            header = static_cast<uint32_t>(strtoul(reinterpret_cast<const char*>(bytes.data()) + 3 + 9, nullptr, 10));
        return ByteText{index == 0 ? "CC" : index == 1 ? "\x06" "C" : index - 1 < blocks ? "\x06" : "\x18", {}};
    };
    EXPECT_EQ(UploadBatch(job), UPL_REMOTE_CANCEL);
    EXPECT_EQ(header, size);
    std::vector<intptr_t> positions = Positions();   // one before each data block
    ASSERT_EQ(positions.size(), blocks);
    EXPECT_EQ(positions[0], 0);
    EXPECT_EQ(positions[16383], 0);   // 16 MiB - 1 KiB sent: just short of 1/256 of the file
    EXPECT_EQ(positions[16384], 1);   // 16 MiB: offset * 256 no longer fits 32 bits
    EXPECT_EQ(positions[16999], 1);
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

// Posted notices, as the dialog's message queue holds them.
struct NoticeQueue {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<unsigned> ids;

    void Post(unsigned id)
    {
        std::lock_guard<std::mutex> hold(lock);
        ids.push_back(id);
        arrived.notify_one();
    }
    unsigned Take()
    {
        std::unique_lock<std::mutex> hold(lock);
        arrived.wait(hold, [this] { return !ids.empty(); });
        unsigned id = ids.front();
        ids.pop_front();
        return id;
    }
};

// The worker on a thread of its own beside a thread that plays the progress dialog, as on Windows: the dialog
// claims the port, starts the worker, copies the texts out when a notice says they changed, asks for a cancel,
// tries a command while the port is busy and again once it is free, and reads the result after the worker's last
// notice. Natively nothing else runs the worker on a thread; the sanitizer pass (ThreadSanitizer) watches what
// the two share.
TEST_F(UploadBatches, TheWorkerOnItsThreadSharesTextsCancelBusyAndResultWithTheDialog)
{
    SetFiles({MakeFile("part.nc", 40 * 1024)});
    // A slow line: data block 4 is answered once the dialog has asked for the cancel.
    std::mutex cancelLock;
    std::condition_variable cancelSignal;
    YmodemPeer receiver;
    peer = [&](size_t, const Bytes& bytes) {
        if (bytes.size() == 1029 && bytes[1] == 4) {
            std::unique_lock<std::mutex> hold(cancelLock);
            cancelSignal.wait(hold, [&] { return ZemLoadByte(&job->cancelRequested) != 0; });
        }
        return ByteText{receiver.AnswerText(bytes), {}};
    };
    NoticeQueue queue;
    static UploadNoticeSink sink;
    sink = {[](void* context, unsigned id, intptr_t) { static_cast<NoticeQueue*>(context)->Post(id); }, &queue};
    UploadSetNoticeSink(&sink);

    // The command the dialog tries once the port is free has gone out before the worker's last notice, so that
    // only the port's busy flag orders the worker's last use of the line before the dialog's.
    std::mutex usedLock;
    std::condition_variable usedSignal;
    int dialogUsedPort = 0, busyRefusals = 0, commandAfterRelease = -1;
    Words statusTexts, fileTexts;
    ASSERT_EQ(ClaimUploadPort(job), UPL_OK);
    std::thread worker([&] {
        RunClaimedUpload(job);
        std::unique_lock<std::mutex> hold(usedLock);
        usedSignal.wait(hold, [&] { return dialogUsedPort; });
        hold.unlock();
        queue.Post(UM_UPLOAD_DONE);
    });
    char copy[UPLOAD_TEXT_SIZE];
    for (unsigned id = 0; id != UM_UPLOAD_DONE;) {
        id = queue.Take();
        if (id == UM_SET_STATUS_TEXT) {
            UploadCopyText(UploadStatusText, copy, sizeof(copy));
            statusTexts.push_back(copy);
        } else if (id == UM_SET_FILE_TEXT) {
            UploadCopyText(UploadFileText, copy, sizeof(copy));
            fileTexts.push_back(copy);
        }
        if (id == UM_SET_STATUS_TEXT && statusTexts.size() == 3) {
            busyRefusals += ZemSerComSendCmd(port, "l\r\n", 0) == SERCOM_BUSY;
            std::lock_guard<std::mutex> hold(cancelLock);
            ZemStoreByte(&job->cancelRequested, 1);   // the Cancel button
            cancelSignal.notify_one();
        }
        if (commandAfterRelease < 0 && ZemLoadByte(&job->cancelRequested)) {
            while (ZemSerComIsBusy(port))   // a command that arrives while the worker lets the port go
                std::this_thread::yield();
            commandAfterRelease = ZemSerComSendCmd(port, "l\r\n", 0);
            std::lock_guard<std::mutex> hold(usedLock);
            dialogUsedPort = 1;
            usedSignal.notify_one();
        }
    }
    worker.join();

    EXPECT_EQ(ZemLoadResult(&job->result), UPL_CANCELLED);
    EXPECT_EQ(busyRefusals, 1);
    EXPECT_EQ(commandAfterRelease, SERCOM_DONE);
    EXPECT_EQ(fileTexts, Words{"Uploading : part.nc"});
    ASSERT_GE(statusTexts.size(), 4u);
    EXPECT_EQ(statusTexts[2], "3072 from 40960 Bytes uploaded");   // the worker waits at block 4
    EXPECT_EQ(statusTexts.back(), "Canceling, this may take 10-15 Seconds");
    EXPECT_EQ(line.Written().substr(line.Written().size() - 3), "l\r\n");
}

// 253 characters: the first 120, "..." and the last 120 fill the text's 243; 243 fit whole.
TEST(UploadTexts, LongNamesKeepStartAndEndAroundAnEllipsis)
{
    const std::string b(100, 'b'), fits(243, 'f');
    SetUploadFileText((std::string(150, 'a') + b + ".nc").c_str());
    const std::string shortened = std::string(120, 'a') + "..." + std::string(17, 'a') + b + ".nc";
    EXPECT_EQ(std::string(UploadFileText), "Uploading : " + shortened);
    SetUploadFileText(fits.c_str());
    EXPECT_EQ(std::string(UploadFileText), "Uploading : " + fits);
}

// A cut never lands inside a two-byte character: of 200 bytes of "\xC3\xA4", a room of 20 or 21 bytes keeps four
// characters at either end.
TEST(UploadTexts, LongNamesAreNeverCutInsideACharacter)
{
    std::string wide;
    for (int i = 0; i < 100; i++)
        wide += "\xC3\xA4";
    for (uint32_t room : {20u, 21u}) {
        char out[64];
        ShortenFileName(wide.c_str(), out, room);
        EXPECT_STREQ(out, "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4...\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4") << "room " << room;
    }
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
    std::set<std::string> seen;
    for (int i = 0; i < 20000; i++) {
        char copy[UPLOAD_TEXT_SIZE];
        UploadCopyText(UploadStatusText, copy, sizeof(copy));
        seen.insert(copy);
    }
    done = 1;
    writer.join();
    EXPECT_THAT(seen, testing::IsSubsetOf({a, b}));
}

}   // namespace

#include "tests/upload/upload_rig.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>

#include "serial/upload_notice.h"

Bytes ToBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes FileContent(uint32_t size)
{
    Bytes content(size);
    for (uint32_t i = 0; i < size; i++)
        content[i] = static_cast<unsigned char>(i * 7 + 3);
    return content;
}

Bytes FrameData(const Bytes& frame)
{
    size_t size = frame[0] == UPL_STX ? 1024 : 128;
    return Bytes(frame.begin() + 3, frame.begin() + 3 + size);
}

Bytes YmodemPeer::Answer(const Bytes& write)
{
    std::string start = crcMode ? "CC" : NAK;
    if (write.size() == 2 && write[0] == 'u')
        return ToBytes(start);
    if (write.size() == 1 && write[0] == UPL_EOT) {
        ReceivedFile& file = files.back();
        if (file.data.size() > file.size)
            file.data.resize(file.size);
        nextBlock = 1;
        return ToBytes(ACK + start);
    }
    if (!write.empty() && write[0] == UPL_CAN) {
        cancelled = 1;
        return {};
    }
    if (write.size() != 132 && write.size() != 1029)
        return ToBytes(NAK);
    Bytes data = FrameData(write);
    if (write[1] == 0 && nextBlock == 1) {
        if (data[0] == 0) {
            closed = 1;
            return ToBytes(ACK);
        }
        ReceivedFile file;
        file.name.assign(reinterpret_cast<const char*>(data.data()), strnlen(reinterpret_cast<const char*>(data.data()), data.size()));
        file.size = static_cast<uint32_t>(strtoul(reinterpret_cast<const char*>(data.data()) + file.name.size() + 1, nullptr, 10));
        files.push_back(file);
        return ToBytes(ACK "C");
    }
    if (write[1] != (nextBlock & 0xFF))
        return ToBytes(NAK);
    files.back().data.insert(files.back().data.end(), data.begin(), data.end());
    nextBlock++;
    return ToBytes(ACK);
}

static void RecordNotice(void* context, unsigned id, intptr_t param)
{
    static_cast<UploadRig*>(context)->notices.emplace_back(id, param);
}

static std::atomic<int> folderCounter;

void UploadRig::SetUp()
{
    InstallScriptedLine(&line);
    port = ZemSerComOpen("COM1", 115200);
    ASSERT_NE(port, nullptr);
    job = new UploadJob();
    job->port = port;
    job->ramBudget = 0xFFFFFFFFu;
    job->flashBudget = 0xFFFFFFFFu;
    static UploadNoticeSink sink;
    sink = UploadNoticeSink{RecordNotice, this};
    UploadSetNoticeSink(&sink);
    line.onWrite = [this](ScriptedLine& l, const unsigned char* bytes, uint32_t count) {
        Bytes written(bytes, bytes + count);
        size_t index = writes.size();
        std::string reply = peer ? peer(index, written) : std::string();
        if (keepWrites)
            writes.push_back(std::move(written));
        else
            writes.emplace_back();
        l.Queue(ToBytes(reply));
        if (!keepWrites)
            l.written.clear();
    };
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    folder = std::filesystem::temp_directory_path() /
             ("upload-" + std::string(info->name()) + "-" + std::to_string(folderCounter++));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

void UploadRig::TearDown()
{
    UploadSetNoticeSink(nullptr);
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
    delete job;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void UploadRig::Script(std::vector<std::string> replies)
{
    peer = [replies](size_t index, const Bytes&) { return index < replies.size() ? replies[index] : std::string(); };
}

void UploadRig::UsePeer(YmodemPeer* receiver)
{
    peer = [receiver](size_t, const Bytes& bytes) {
        Bytes answer = receiver->Answer(bytes);
        return std::string(answer.begin(), answer.end());
    };
}

std::string UploadRig::MakeFile(const std::string& name, const Bytes& content)
{
    std::filesystem::path path = folder / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return path.string();
}

std::string UploadRig::MakeFile(const std::string& name, uint32_t size)
{
    return MakeFile(name, FileContent(size));
}

void UploadRig::SetFiles(const std::vector<std::string>& paths)
{
    memset(job->fileList, 0, sizeof(job->fileList));
    size_t at = 0;
    for (const std::string& path : paths) {
        ASSERT_LT(at + path.size() + 1, sizeof(job->fileList));
        memcpy(job->fileList + at, path.c_str(), path.size() + 1);
        at += path.size() + 1;
    }
}

int UploadRig::Run()
{
    return UploadBatch(job);
}

std::vector<intptr_t> UploadRig::Positions() const
{
    std::vector<intptr_t> positions;
    for (const auto& notice : notices)
        if (notice.first == UM_PROGRESS_SET)
            positions.push_back(notice.second);
    return positions;
}

int UploadRig::CountWritesOfLength(size_t length) const
{
    int count = 0;
    for (const Bytes& write : writes)
        count += write.size() == length;
    return count;
}

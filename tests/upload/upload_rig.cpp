#include "tests/upload/upload_rig.h"

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
    if (write.size() != 132 && write.size() != 1029)
        return !write.empty() && write[0] == UPL_CAN ? Bytes() : ToBytes(NAK);
    Bytes data = FrameData(write);
    const char* text = reinterpret_cast<const char*>(data.data());
    if (write[1] == 0 && nextBlock == 1) {
        if (data[0] == 0) {
            closed = 1;
            return ToBytes(ACK);
        }
        ReceivedFile file;
        file.name.assign(text, strnlen(text, data.size()));
        file.size = static_cast<uint32_t>(strtoul(text + file.name.size() + 1, nullptr, 10));
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

void UploadRig::SetUp()
{
    InstallScriptedLine(&line);
    port = ZemSerComOpen("COM1", 115200);
    ASSERT_NE(port, nullptr);
    job = new UploadJob();
    job->port = port;
    job->ramBudget = job->flashBudget = 0xFFFFFFFFu;
    static UploadNoticeSink sink;
    sink = UploadNoticeSink{RecordNotice, this};
    UploadSetNoticeSink(&sink);
    line.onWrite = [this](ScriptedLine& l, const unsigned char* bytes, uint32_t count) {
        Bytes written(bytes, bytes + count);
        l.Queue(ToBytes(peer ? peer(writes.size(), written) : std::string()));
        writes.push_back(keepWrites ? std::move(written) : Bytes());
        if (!keepWrites)
            l.written.clear();
    };
}

void UploadRig::TearDown()
{
    UploadSetNoticeSink(nullptr);
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
    delete job;
}

void UploadRig::Script(std::vector<std::string> replies)
{
    peer = [replies](size_t index, const Bytes&) { return index < replies.size() ? replies[index] : std::string(); };
}

void UploadRig::UsePeer(YmodemPeer* receiver, std::function<std::string(size_t, const Bytes&)> also)
{
    peer = [receiver, also](size_t index, const Bytes& bytes) {
        Bytes answer = receiver->Answer(bytes);
        return std::string(answer.begin(), answer.end()) + (also ? also(index, bytes) : std::string());
    };
}

std::string UploadRig::MakeFile(const std::string& name, const Bytes& content)
{
    std::ofstream(dir.File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    return dir.File(name);
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

// A scripted receiver on a fake line for the batch sender: each write of the
// sender may be answered by the script, notices are recorded, and files live
// in a scratch folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"

using Bytes = std::vector<unsigned char>;

// Replies of a receiver, written as text.
#define ACK "\x06"
#define NAK "\x15"
#define CAN "\x18"

Bytes ToBytes(const std::string& text);
Bytes FileContent(uint32_t size);   // bytes i*7+3
// The data area of a written frame (after header, number and complement).
Bytes FrameData(const Bytes& frame);

// A well-behaved receiver that asks for one mode and keeps what it gets.
struct ReceivedFile {
    std::string name;      // directory and name as in block 0
    uint32_t size = 0;     // announced size
    Bytes data;            // data blocks, cut to the announced size at EOT
};

struct YmodemPeer {
    int crcMode = 1;                  // 'C' requests, else NAK
    std::vector<ReceivedFile> files;
    int closed = 0;                   // the empty header arrived
    uint32_t nextBlock = 1;
    Bytes Answer(const Bytes& write);
};

class UploadRig : public testing::Test {
public:
    ScriptedLine line;
    SerialPort* port = nullptr;
    UploadJob* job = nullptr;
    std::vector<Bytes> writes;                          // each write of the sender
    std::vector<std::pair<unsigned, intptr_t>> notices;
    ScratchDir dir;
    // Answers write number index (0 is "u\r"); empty for silence.
    std::function<std::string(size_t index, const Bytes& bytes)> peer;
    int keepWrites = 1;

    void SetUp() override;
    void TearDown() override;

    // Answers write i with replies[i] and stays silent afterwards.
    void Script(std::vector<std::string> replies);
    // The receiver answers; then also is called and its bytes follow the answer.
    void UsePeer(YmodemPeer* receiver, std::function<std::string(size_t, const Bytes&)> also = {});
    std::string MakeFile(const std::string& name, const Bytes& content);
    std::string MakeFile(const std::string& name, uint32_t size) { return MakeFile(name, FileContent(size)); }
    void SetFiles(const std::vector<std::string>& paths);
    int Run() { return UploadBatch(job); }
    std::vector<intptr_t> Positions() const;           // lParams of UM_PROGRESS_SET
    int CountWritesOfLength(size_t length) const;
};

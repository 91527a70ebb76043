// The program's own port layer, listing reader and batch sender against the
// simulated controller, with and without each fault, each run ending with the
// result it is meant to give. The line is the real pseudo-terminal; only time
// is sped up: a read that finds nothing within a short real wait counts as a
// full 990-ms read time-out on a virtual clock, and a write that cannot go on
// for a short while ends short, as the 10-s write limit would.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "app/command_line.h"
#include "lib/zem_lib.h"
#include "lib/zem_ui.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "tests/sim/sim_process.h"
#include "tests/support/virtual_clock.h"
#include "tree/device_tree.h"

namespace {

VirtualClock SpedUpClock;

// Waits 100 ms for a first byte and 50 ms for each further one.
int ReadSpedUp(SerialHandle handle, void* buffer, uint32_t max, uint32_t* got)
{
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    *got = 0;
    for (pollfd watch{static_cast<int>(handle), POLLIN, 0}; *got < max; watch.revents = 0) {
        ssize_t now = 0;
        if (poll(&watch, 1, *got ? 50 : 100) <= 0 || (watch.revents & POLLIN) == 0 ||
            (now = read(watch.fd, bytes + *got, max - *got)) <= 0)
            break;
        *got += static_cast<uint32_t>(now);
    }
    if (*got == 0)
        SpedUpClock.now += 990;
    return 1;
}

// A line that takes nothing for 300 ms counts as past the write limit.
int WriteSpedUp(SerialHandle handle, const void* bytes, uint32_t length, uint32_t* written)
{
    *written = 0;
    for (pollfd watch{static_cast<int>(handle), POLLOUT, 0}; *written < length; watch.revents = 0) {
        if (poll(&watch, 1, 300) <= 0)
            return 1;
        ssize_t put = (watch.revents & POLLOUT) ? write(watch.fd, static_cast<const char*>(bytes) + *written, length - *written) : -1;
        if (put < 0 && errno != EAGAIN)
            return 0;
        *written += put > 0 ? static_cast<uint32_t>(put) : 0;
    }
    return 1;
}

SerialDevice SpedUpDevice;

void InstallSpedUpLine()
{
    SpedUpDevice = SerialPlatformDevice;
    SpedUpDevice.read = ReadSpedUp;
    SpedUpDevice.write = WriteSpedUp;
    SerialSetDevice(&SpedUpDevice);
    SpedUpClock = VirtualClock{};
    InstallVirtualClock(&SpedUpClock);
}

class SimSender : public testing::Test {
protected:
    void SetUp() override
    {
        InstallSpedUpLine();
        uiSink = {[](void* context, const char* text) { static_cast<SimSender*>(context)->problems.push_back(text); },
                  [](void*, unsigned, intptr_t) {}, this};
        ZemUiSetSink(&uiSink);
        AutoConnect = 0;
        ListingAttemptsOverride = 0;
        tree = CreateDeviceTree();
        pcFolder = MakeControllerFolder(false);
    }
    void TearDown() override
    {
        if (port != nullptr)
            ZemSerComClose(port);
        FreeDeviceTree(tree);
        StopSim(&sim);
        RemoveFolder(pcFolder);
        ZemUiSetSink(nullptr);
        InstallVirtualClock(nullptr);
        SerialSetDevice(nullptr);
    }
    void Connect(std::vector<std::string> options)
    {
        options.insert(options.end(), {"--silence-ms", "500"});
        ASSERT_TRUE(StartSim(&sim, options));
        // The test's own descriptor would keep the port from being ours alone.
        close(sim.port);
        sim.port = -1;
        port = ZemSerComOpen(sim.slave.c_str(), 57600);
        ASSERT_NE(port, nullptr);
    }
    int ReadListing()
    {
        ReadDirectories(tree, port, AnswerBuffer, ANSWER_BUFFER_SIZE);
        return LastReadOutcome();
    }
    std::string PcFile(const std::string& name, uint32_t size)
    {
        std::string bytes(size, '\0');
        for (uint32_t i = 0; i < size; i++)
            bytes[i] = static_cast<char>((i * 31 + 7) & 0xFF);
        WriteHostFile(pcFolder + "/" + name, bytes);
        return pcFolder + "/" + name;
    }
    // Runs one batch with the budgets of the last listing.
    int Upload(const std::vector<std::string>& paths, const char* targetDir, int cancel = 0)
    {
        UploadJob* job = &TheUploadJob;
        ClearUploadJob(job);
        job->port = port;
        size_t at = 0;
        for (const std::string& path : paths) {
            std::memcpy(job->fileList + at, path.c_str(), path.size() + 1);
            at += path.size() + 1;
        }
        job->fileList[at] = 0;
        std::strcpy(job->targetDir, targetDir);
        job->cancelRequested = static_cast<unsigned char>(cancel);
        job->ramBudget = tree->ramDiskFree;
        job->flashBudget = tree->flashDiskFree;
        ZemSerComSetBusy(port, 1);
        int result = UploadBatch(job);
        ZemSerComSetBusy(port, 0);
        return result;
    }
    std::string Stored(const std::string& path) { return ReadHostFile(sim.root + path); }

    SimProcess sim;
    SerialPort* port = nullptr;
    DeviceTree* tree = nullptr;
    ZemUiSink uiSink{};
    std::vector<std::string> problems;
    std::string pcFolder;
};

TEST_F(SimSender, ListingOutcomes)
{
    Connect({"--fault", "listing-silent:1", "--fault", "listing-invalid:3", "--fault", "listing-silent:5",
             "--fault", "listing-silent:6", "--fault", "hangup-after:7"});
    EXPECT_EQ(ReadListing(), READ_OK) << "the second attempt is answered";
    EXPECT_EQ(tree->ramDiskFree, 1048242u);
    EXPECT_EQ(tree->flashDiskFree, 4194196u);
    EXPECT_EQ(ReadListing(), READ_OK) << "an invalid listing, then a good one";
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(ReadListing(), READ_NO_ANSWER);
    EXPECT_EQ(tree->arraysInUse, 0u);
    EXPECT_EQ(ReadListing(), READ_OK) << "the simulator hangs up after this one";
    EXPECT_EQ(WaitSimExit(&sim, 3000), 0);
    EXPECT_EQ(ReadListing(), READ_SEND_FAILED);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0], "No answer from Vantorix. Please check if it is connected.");
    EXPECT_EQ(problems[1], "Can't send Command. Please check if Vantorix is connected.");
}

TEST_F(SimSender, InvalidListingEveryTime)
{
    Connect({"--fault", "listing-invalid"});
    EXPECT_EQ(ReadListing(), READ_BAD_ANSWER);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "The Vantorix-answer was not correct. Please try to update again.");
}

TEST_F(SimSender, BatchArrivesInBothModes)
{
    for (const char* mode : {"crc", "checksum"}) {
        SCOPED_TRACE(mode);
        Connect({"--mode", mode});
        ASSERT_EQ(ReadListing(), READ_OK);
        std::vector<std::string> names = {"big part.nc"}, files = {PcFile(names[0], 70000)};
        uint32_t total = 70000;
        for (uint32_t size : {1u, 127u, 128u, 129u, 1023u, 1025u}) {
            names.push_back("f" + std::to_string(size) + ".nc");
            files.push_back(PcFile(names.back(), size));
            total += size;
        }
        EXPECT_EQ(Upload(files, ""), UPL_OK);
        std::string exact = PcFile("e.nc", 1024);
        EXPECT_EQ(Upload({exact}, "/ROM/macros/"), UPL_OK);
        names[0] = "big_part.nc";
        for (size_t i = 0; i < files.size(); i++)
            EXPECT_TRUE(Stored("/ram/cncprg/" + names[i]) == ReadHostFile(files[i])) << names[i];
        EXPECT_TRUE(Stored("/ROM/macros/e.nc") == ReadHostFile(exact));
        ASSERT_EQ(ReadListing(), READ_OK);
        EXPECT_EQ(tree->ramDiskFree, 1048242u - total);
        EXPECT_EQ(tree->flashDiskFree, 4194196u - 1024u);
        ZemSerComClose(port);
        port = nullptr;
        StopSim(&sim);
    }
}

// One batch of one or two files against one fault, and what it must end with.
struct FaultRow {
    const char* name;
    const char* fault;        // "" for none
    uint32_t size;            // of the first file
    bool secondMissing;       // a second name that does not exist
    int cancel;
    int expected;
    bool firstStored;
};

void PrintTo(const FaultRow& row, std::ostream* out)
{
    *out << row.name;
}

class SimSenderFaults : public SimSender, public testing::WithParamInterface<FaultRow> {};

TEST_P(SimSenderFaults, EndsWithTheIntendedResult)
{
    const FaultRow& row = GetParam();
    Connect(*row.fault ? std::vector<std::string>{"--fault", row.fault} : std::vector<std::string>{});
    ASSERT_EQ(ReadListing(), READ_OK);
    if (row.expected == UPL_COMMAND_FAILED) {
        EXPECT_EQ(WaitSimExit(&sim, 3000), 0) << "the simulator hangs up after the listing";
    }
    std::vector<std::string> files = {PcFile("f.nc", row.size)};
    if (row.secondMissing)
        files.push_back(pcFolder + "/missing.nc");
    EXPECT_EQ(Upload(files, "/ram/cncprg/", row.cancel), row.expected) << UploadResultName(row.expected);
    EXPECT_EQ(HostPathExists(sim.root + "/ram/cncprg/f.nc"), row.firstStored);
    // A sender that just stops leaves the receiver waiting until its silence limit.
    for (int wait = 0; wait < 60 && HiddenUploads(sim.root + "/ram/cncprg") > 0; wait++)
        usleep(50000);
    EXPECT_EQ(HiddenUploads(sim.root + "/ram/cncprg"), 0) << "an upload file was left behind";
}

const FaultRow FaultRows[] = {
    {"EightNaksThenAck", "nak:2:8", 5000, false, 0, UPL_OK, true},
    {"NineNaks", "nak:2:9", 5000, false, 0, UPL_TOO_MANY_RETRIES, false},
    {"CanInsteadOfStart", "can-start", 5000, false, 0, UPL_REMOTE_CANCEL, false},
    {"CanForABlock", "can-block:2", 5000, false, 0, UPL_REMOTE_CANCEL, false},
    {"NoStartRequest", "silent-start", 5000, false, 0, UPL_NO_ANSWER, false},
    {"HeaderNotAcknowledged", "silent-header", 5000, false, 0, UPL_NO_ANSWER, false},
    {"HeaderRefused", "can-header", 5000, false, 0, UPL_NO_ANSWER, false},
    {"NoDataStart", "silent-data-start", 5000, false, 0, UPL_NO_ANSWER, false},
    {"SilentFromABlock", "silent-from:3", 5000, false, 0, UPL_NO_ANSWER, false},
    {"EotNotAcknowledged", "silent-eot", 5000, false, 0, UPL_NO_ANSWER, false},
    {"CloseNotAcknowledged", "silent-close", 5000, false, 0, UPL_NO_ANSWER, true},
    // Delays in real time; the sender's limits run about ten times faster here.
    {"SlowAcknowledgements", "ack-delay:150", 3000, false, 0, UPL_OK, true},
    {"AcknowledgementsTooLate", "ack-delay:700", 3000, false, 0, UPL_NO_ANSWER, false},
    {"DisksFull", "no-space", 5000, false, 0, UPL_NO_SPACE, false},
    {"LineStalls", "stall-from:2:2", 400000, false, 0, UPL_WRITE_FAILED, false},
    {"UserCancel", "", 5000, false, 1, UPL_CANCELLED, false},
    {"MissingSecondFile", "", 5000, true, 0, UPL_FILE_ERROR, true},
    {"HangUpBeforeUpload", "hangup-after:1", 5000, false, 0, UPL_COMMAND_FAILED, false},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimSenderFaults, testing::ValuesIn(FaultRows),
                         [](const testing::TestParamInfo<FaultRow>& info) { return std::string(info.param.name); });

TEST_F(SimSender, FileLargerThanTheListedSpaceIsRefusedBeforeSending)
{
    Connect({"--ram-size", "2000"});
    ASSERT_EQ(ReadListing(), READ_OK);
    EXPECT_EQ(tree->ramDiskFree, 1666u);
    EXPECT_EQ(Upload({PcFile("fits.nc", 1666)}, ""), UPL_OK);
    ASSERT_EQ(ReadListing(), READ_OK);
    EXPECT_EQ(tree->ramDiskFree, 0u);
    EXPECT_EQ(Upload({PcFile("more.nc", 1)}, ""), UPL_NO_SPACE);
    EXPECT_FALSE(HostPathExists(sim.root + "/ram/cncprg/more.nc"));
}

}   // namespace

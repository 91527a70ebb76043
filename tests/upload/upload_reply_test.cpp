// How the sender reads the receiver's start requests and replies: one row per
// script, with the result, the writes that went out and the time it took.
#include "tests/upload/upload_rig.h"

struct ReplyCase {
    const char* title;
    std::vector<std::string> replies;   // answer to write 0 ("u\r"), 1, 2, ...
    int result;
    std::vector<size_t> writeLengths;   // length of every write, in order
    uint32_t minMs, maxMs;              // virtual time the batch took
};

static void PrintTo(const ReplyCase& row, std::ostream* out)
{
    *out << row.title;
}

class UploadReplies : public UploadRig, public testing::WithParamInterface<ReplyCase> {};

// The file is 100 bytes: one data block in either mode.
TEST_P(UploadReplies, EndAsScripted)
{
    const ReplyCase& row = GetParam();
    SetFiles({MakeFile("part.nc", 100)});
    Script(row.replies);
    EXPECT_EQ(Run(), row.result);
    std::vector<size_t> lengths;
    for (const Bytes& write : writes)
        lengths.push_back(write.size());
    EXPECT_EQ(lengths, row.writeLengths);
    EXPECT_GE(line.clock.now, row.minMs);
    EXPECT_LE(line.clock.now, row.maxMs);
}

// u = "u\r", H = header, D = data block, E = EOT.
INSTANTIATE_TEST_SUITE_P(Handshakes, UploadReplies, testing::Values(
    ReplyCase{"nak_after_one_c_is_checksum", {"C" NAK, ACK "C", ACK, ACK NAK, ACK}, UPL_OK, {2, 132, 132, 1, 132}, 0, 100},
    ReplyCase{"c_x_c_starts_nothing", {"CXC"}, UPL_NO_ANSWER, {2}, 10000, 11000},
    ReplyCase{"c_x_c_c_starts_the_header", {"CXCC", ACK "C", ACK, ACK "CC", ACK}, UPL_OK, {2, 1029, 1029, 1, 1029}, 0, 100},
    ReplyCase{"one_c_then_silence", {"C"}, UPL_NO_ANSWER, {2}, 10000, 11000},
    ReplyCase{"can_before_the_header", {"C" CAN}, UPL_REMOTE_CANCEL, {2}, 0, 100},
    ReplyCase{"nak_to_the_header_is_ignored", {"CC", NAK}, UPL_NO_ANSWER, {2, 1029}, 3000, 4100},
    ReplyCase{"nak_then_ack_to_the_header", {"CC", NAK ACK "C", ACK, ACK "CC", ACK}, UPL_OK, {2, 1029, 1029, 1, 1029}, 0, 100},
    ReplyCase{"can_to_the_header_is_no_answer", {"CC", CAN}, UPL_NO_ANSWER, {2, 1029}, 0, 100},
    ReplyCase{"no_data_start_request", {"CC", ACK}, UPL_NO_ANSWER, {2, 1029}, 10000, 11000},
    ReplyCase{"can_instead_of_data_start", {"CC", ACK CAN}, UPL_NO_ANSWER, {2, 1029}, 0, 100},
    ReplyCase{"data_start_nak_keeps_crc_mode", {"CC", ACK NAK, ACK, ACK "CC", ACK}, UPL_OK, {2, 1029, 1029, 1, 1029}, 0, 100},
    ReplyCase{"silent_data_reply_is_not_retried", {"CC", ACK "C"}, UPL_NO_ANSWER, {2, 1029, 1029}, 1000, 2100},
    ReplyCase{"can_to_a_data_block", {"CC", ACK "C", CAN}, UPL_REMOTE_CANCEL, {2, 1029, 1029}, 0, 100},
    ReplyCase{"noise_before_the_ack", {"CC", ACK "C", "CCxy" ACK, ACK "CC", ACK}, UPL_OK, {2, 1029, 1029, 1, 1029}, 0, 100},
    ReplyCase{"eight_naks_then_ack", {"CC", ACK "C", NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, ACK, ACK "CC", ACK}, UPL_OK,
              {2, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1, 1029}, 0, 200},
    ReplyCase{"nine_naks_end_without_a_tenth_send", {"CC", ACK "C", NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, NAK, ACK},
              UPL_TOO_MANY_RETRIES, {2, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1029, 1029}, 0, 200},
    ReplyCase{"nak_to_eot_is_ignored", {"CC", ACK "C", ACK, NAK}, UPL_NO_ANSWER, {2, 1029, 1029, 1}, 3000, 4100},
    ReplyCase{"can_to_eot_is_no_answer", {"CC", ACK "C", ACK, CAN}, UPL_NO_ANSWER, {2, 1029, 1029, 1}, 0, 100},
    ReplyCase{"closing_header_unanswered", {"CC", ACK "C", ACK, ACK "CC"}, UPL_NO_ANSWER, {2, 1029, 1029, 1, 1029}, 3000, 4100},
    ReplyCase{"no_start_request_for_the_closing_header", {"CC", ACK "C", ACK, ACK}, UPL_NO_ANSWER, {2, 1029, 1029, 1},
              10000, 11000}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.title); });

TEST(UploadWaits, LimitsAboveThirtySecondsAreCut)
{
    ScriptedLine line;
    InstallScriptedLine(&line);
    SerialPort* port = ZemSerComOpen("COM1", 9600);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(UploadWaitReply(port, 100000, 0), REPLY_NONE);
    EXPECT_GE(line.clock.now, 30000u);
    EXPECT_LE(line.clock.now, 31000u);
    line.clock.now = 0xFFFFFF00u;   // a wrap of the tick count does no harm
    EXPECT_EQ(UploadWaitStart(port, 2000, 1), START_NONE);
    EXPECT_GE(line.clock.now - 0xFFFFFF00u, 2000u);
    EXPECT_LE(line.clock.now - 0xFFFFFF00u, 3000u);
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
}

// The box after an upload against the listing read afterwards, with PC files made for each row.
#include <filesystem>

#include "app/upload_report.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"
#include "tree/device_tree.h"

namespace {

class UploadReport : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(tree = CreateDeviceTree(), nullptr); }
    void TearDown() override { FreeDeviceTree(tree); }

    ScratchDir scratch;
    DeviceTree* tree = nullptr;
    UploadJob job;
    char text[UPLOAD_REPORT_SIZE];
};

TEST_F(UploadReport, Rows)
{
    for (const Row& row : ReadRows("app/upload_report.rows", {{"", 4, ANY_NUMBER}})) {
        SCOPED_TRACE(row.Where());
        ASSERT_EQ(ParseListing(tree, row[0].c_str()), 1);
        std::vector<std::string> files;
        auto given = row.Named(3, {{"target", ""}, {"room", std::to_string(sizeof(text))}}, &files);
        ClearUploadJob(&job);
        snprintf(job.targetDir, sizeof(job.targetDir), "%s", given["target"].c_str());
        uint32_t used = 0;
        // Lists each file NAME=SENT[>NOW] in the job as the sender records it, SENT bytes, and makes the PC file with
        // the NOW bytes it holds by the time of the check (SENT when not given; "-": gone).
        for (const std::string& file : files) {
            size_t equals = file.rfind('='), later = file.find('>', equals);
            std::filesystem::path path = std::filesystem::path(scratch.path) / file.substr(0, equals);
            std::filesystem::create_directories(path.parent_path());
            std::string sent = file.substr(equals + 1, later - equals - 1);
            std::string now = later == std::string::npos ? sent : file.substr(later + 1);
            if (now != "-")
                std::ofstream(path, std::ios::binary) << std::string(std::stoul(now), 'G');
            ASSERT_TRUE(AppendFileName(job.fileList, FILE_LIST_ROOM, &used, path.string().c_str()));
            RecordSentFile(&job, path.filename().string().c_str(), std::stoul(sent));
        }
        EXPECT_EQ(DescribeUploadCheck(&job, tree, text, std::stoul(given["room"])), std::stoi(row[1]));
        EXPECT_EQ(std::string(text), row[2]);
    }
}

}  // namespace

// The shared texts: shortening of long names and whole-text copies across threads.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "serial/upload_steps.h"
#include "tests/upload/upload_rig.h"

TEST(UploadTexts, LongNamesKeepStartAndEndAroundAnEllipsis)
{
    std::string name = std::string(150, 'a') + std::string(100, 'b') + ".nc";   // 253 characters
    SetUploadFileText(name.c_str());
    std::string text = UploadFileText;
    EXPECT_EQ(text.size(), 12u + 243u);
    EXPECT_EQ(text.substr(0, 12 + 120), "Uploading : " + std::string(120, 'a'));
    EXPECT_NE(text.find("..."), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 5), "bb.nc");
    std::string fits(243, 'f');
    SetUploadFileText(fits.c_str());
    EXPECT_EQ(std::string(UploadFileText), "Uploading : " + fits);

    // Never in the middle of a two-byte character.
    std::string wide;
    for (int i = 0; i < 100; i++)
        wide += "\xC3\xA4";
    char out[64];
    ShortenFileName(wide.c_str(), out, 20);
    std::string shortened = out;
    EXPECT_LE(shortened.size(), 20u);
    size_t dots = shortened.find("...");
    ASSERT_NE(dots, std::string::npos);
    EXPECT_EQ(dots % 2, 0u);
    EXPECT_EQ((shortened.size() - dots - 3) % 2, 0u);
    EXPECT_EQ(static_cast<unsigned char>(shortened.back()), 0xA4);
}

TEST(UploadTexts, CopiesAreWholeAndCutToTheCallersBuffer)
{
    const std::string a(200, 'a'), b = "12 from 34 Bytes uploaded";
    UploadPublishText(UploadStatusText, b.c_str());
    char small[6];
    UploadCopyText(UploadStatusText, small, sizeof(small));
    EXPECT_STREQ(small, "12 fr");

    // A reader never sees half a text while the writer rewrites it.
    std::atomic<int> done{0};
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

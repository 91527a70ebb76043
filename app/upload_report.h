// The browser's words after an upload: the message for the sender's result,
// and the check of an upload that the controller acknowledged whole but the
// listing read afterwards contradicts.
#pragma once

#include <cstdint>

struct DeviceTree;
struct UploadJob;

// Room for the text of a box that names many files.
constexpr uint32_t UPLOAD_REPORT_SIZE = 16384;

// One sentence per file of the job that the tree does not show as sent, one
// a line, into out (as many whole sentences as fit size bytes with the NUL);
// returns how many files are not there as sent, 0 with "" when all are (or
// when there was no memory to check).
int DescribeUploadCheck(const UploadJob* job, DeviceTree* tree, char* out, uint32_t size);

// The browser's outcome message for a result, or null when none is shown.
const char* UploadResultMessage(int result);
const char* UploadResultName(int result);

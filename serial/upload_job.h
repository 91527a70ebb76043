// The one parameter block through which an upload goes from the user
// interface to the upload worker.
#pragma once

#include <cstdint>

struct SerialPort;

constexpr uint32_t UPLOAD_FILE_LIST_SIZE = 8192;
constexpr uint32_t UPLOAD_TARGET_DIR_SIZE = 256;

struct UploadJob {
    SerialPort* port;                           // the port of the transfer
    char fileList[UPLOAD_FILE_LIST_SIZE];       // NUL-ended PC paths, closed by an empty name
    char targetDir[UPLOAD_TARGET_DIR_SIZE];     // put directly in front of every base name
    unsigned char cancelRequested;              // 1: the user asked for a cancel (ZemLoadByte)
    unsigned char cancelSent;                   // 1: the receiver was told with CAN to stop (ZemLoadByte)
    void* dialog;                               // the progress dialog that receives the notices
    int32_t result;                             // UPL_ code (ZemLoadResult / ZemStoreResult)
    uint32_t ramBudget;                         // free RAM-disk bytes left to this batch
    uint32_t flashBudget;                       // free flash-disk bytes left to this batch
};

extern UploadJob TheUploadJob;

void ClearUploadJob(UploadJob* job);

// The modal progress dialog of an upload and its worker thread (Windows).
#pragma once

#include <windows.h>

#include <cstdint>

struct UploadJob;

INT_PTR CALLBACK UploadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WINAPI UploadThreadProc(LPVOID job);

// Starts the worker thread for a job whose port is already claimed; returns
// its handle, or null when the thread cannot be made. Replaceable, so that a
// failed start can be tried.
extern HANDLE (*StartUploadThread)(UploadJob* job);

// Waits, at most ms, until the upload worker has told the receiver with CAN
// to stop or has ended; at once without a worker.
void AwaitUploadCancel(uint32_t ms);

// Opens the dialog over the main window for the file list and target
// directory already in the upload job and returns when the upload has ended
// and its worker thread is gone.
void RunUploadDialog();

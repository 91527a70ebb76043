// The modal progress dialog of an upload and its worker thread (Windows).
#pragma once

#include <windows.h>

INT_PTR CALLBACK UploadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
DWORD WINAPI UploadThreadProc(LPVOID job);

// Opens the dialog over the main window for the file list already in the
// upload job and returns when the upload has ended.
void RunUploadDialog();

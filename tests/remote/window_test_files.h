// Small file helpers shared by the upload and remote-command window tests.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// A new empty directory below the system's temporary folder, with a trailing backslash.
std::string MakeScratchDirectory(const char* tag);
// The whole file, or "<missing>".
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// A drop handle as the shell makes it: DROPFILES and a double-NUL name list.
HDROP MakeDrop(const std::vector<std::string>& names);
// A host directory (from the environment) as Wine sees it on drive Z:,
// with a trailing backslash; and a host file.
std::string HostToWindowsPath(const std::string& hostPath);
std::string HostToWindowsFile(const std::string& hostPath);

// Runs vantorix-sim as a child process on a copy of a controller folder and
// talks to it through its pseudo-terminal, as a client on the line would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SimProcess {
    int pid = -1;
    int port = -1;              // our open slave of the simulator's terminal
    std::string root;           // the controller folder (a temporary copy)
    std::string slave;          // path of the terminal
};

// A fresh temporary folder; filled with the sample controller when asked.
std::string MakeControllerFolder(bool withSample);
void RemoveFolder(const std::string& path);

// Starts the simulator on sim->root (made from the sample when empty) with
// the extra options and opens the terminal raw. 1 on success.
int StartSim(SimProcess* sim, const std::vector<std::string>& options);
// SIGTERM, wait, close, remove the folder; the exit code (-1: not normal).
int StopSim(SimProcess* sim, bool keepFolder = false);
// Waits up to ms for the simulator to end by itself; its exit code or -1.
int WaitSimExit(SimProcess* sim, uint32_t ms);

int OpenPortRaw(const std::string& path);
void PurgePort(int port);
void WriteBytes(int port, const std::string& bytes);
// One byte, or -1 when none came within ms.
int ReadByte(int port, uint32_t ms);
// Everything that arrives until the line was quiet for quietMs after the first
// byte, waiting at most firstMs for that first byte.
std::string ReadAnswer(int port, uint32_t firstMs = 2000, uint32_t quietMs = 150);
// Purges, writes the command, reads the answer.
std::string Command(int port, const std::string& text, uint32_t firstMs = 2000);
// Writes what a sender writes and reads the receiver's reply, without the
// start requests 'C' it repeats in front of it while it waits for a header.
std::string Reply(int port, const std::string& bytes, uint32_t firstMs = 1000);

// Frames as a sender writes them: 128 or 1024 data bytes (zero-filled), CRC or sum.
std::string MakeFrame(int number, const std::string& data, uint32_t size, bool crc);
std::string MakeHeader(const std::string& path, uint64_t size, uint32_t blockSize, bool crc);

std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& bytes);
bool HostPathExists(const std::string& path);   // a dangling link exists too
bool FolderIsEmpty(const std::string& path);
// Hidden files of uploads under way in a folder.
int HiddenUploads(const std::string& folder);

constexpr int SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

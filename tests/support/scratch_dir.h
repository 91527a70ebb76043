// A fresh directory removed with its contents, and whole files' bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

struct ScratchDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("vbrowser-" + std::to_string(std::random_device()()) + std::to_string(std::random_device()()));
    ScratchDir() { std::filesystem::create_directories(path); }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    // With its trailing separator, as ProgramDir holds it.
    std::string Prefix() const { return path.string() + static_cast<char>(std::filesystem::path::preferred_separator); }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

// The whole file's bytes ("" when missing).
std::string ReadBytes(const std::string& path);

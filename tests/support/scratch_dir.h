// A fresh directory under the system's temporary directory for one test,
// removed again with everything in it.
#pragma once

#include <filesystem>
#include <random>
#include <string>

struct ScratchDir {
    std::filesystem::path path;

    ScratchDir()
    {
        std::random_device random;
        path = std::filesystem::temp_directory_path() / ("vbrowser-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }

    // The directory with its trailing separator, as ProgramDir holds it.
    std::string Prefix() const
    {
        return path.string() + static_cast<char>(std::filesystem::path::preferred_separator);
    }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

// Files of a test: a fresh directory under the system's temporary directory,
// removed again with everything in it, and the rows of a case table.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <vector>

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

// The cases in tests/NAME, one a line, fields split by '|'; '#' starts a
// comment line; \r \n \t \xNN and \| stand for themselves.
using Row = std::vector<std::string>;
std::vector<Row> ReadRows(const std::string& name);

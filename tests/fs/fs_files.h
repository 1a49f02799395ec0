// Helpers shared by the walk and deletion suites: files with a chosen size
// and modification time, and the entries a walk hands over.
#ifndef TESTS_FS_FS_FILES_H
#define TESTS_FS_FS_FILES_H

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "fs/filesystem.h"
#include "platform/platform.h"
#include "test_support.h"

namespace fs_files {

inline void set_mtime(const std::filesystem::path &path, int64_t seconds)
{
    ASSERT_EQ(platform_file_set_time(path.string().c_str(), seconds), 0) << path;
}

// A file of size bytes whose modification time lies age seconds ago.
inline void make(const std::filesystem::path &path, size_t size = 1, int64_t age = 0)
{
    testing_support::write_file(path, std::string(size, 'x'));
    set_mtime(path, static_cast<int64_t>(std::time(nullptr)) - age);
}

constexpr int64_t day = 86400;

// Walk callback collecting names into a std::vector<std::string>.
inline int collect_name(fs_dir *, fs_file *file, void *names)
{
    static_cast<std::vector<std::string> *>(names)->push_back(file->name);
    return 0;
}

} // namespace fs_files

#endif

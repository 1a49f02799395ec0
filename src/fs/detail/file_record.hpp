// What the walks know of a file beyond its public record: the status in
// full, and whether it could be read at all. Shared by the walks and the
// old-file deletion.
#ifndef FS_DETAIL_FILE_RECORD_HPP
#define FS_DETAIL_FILE_RECORD_HPP

#include <cstdint>

#include "fs/filesystem.h"

namespace ub::detail {

// Every fs_file that the walks and fs_file_new hand out is the first member
// of one of these, so the two addresses are the same.
struct file_record {
    fs_file file;
    int64_t time;          // the file's time in full; 0 when unknown
    int64_t size;          // bytes in full; 0 when unknown
    bool known;            // false when the status query failed
    platform_dir *listing; // the open listing it was read from, or NULL
};

// The record around file, which must come from a walk or fs_file_new.
inline const file_record &record_of(const fs_file *file)
{
    return *reinterpret_cast<const file_record *>(file);
}

inline file_record &record_of(fs_file *file)
{
    return *reinterpret_cast<file_record *>(file);
}

// fs_dir_iter, but an entry whose status cannot be read is handed to
// callback too (known false) instead of being reported and passed over.
int dir_iter_all(fs_dir *dir, fs_dir_callback callback, void *user_data);

// The listing of the folder open as the node folder (which stays the
// caller's), shown as path; NULL, after the message fs_dir_new writes, when
// it cannot be listed.
fs_dir *fs_dir_of_node(int folder, const char *path);

} // namespace ub::detail

#endif

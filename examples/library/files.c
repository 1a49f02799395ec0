/* A folder walked in name order, then its old files cleaned up: first as a
 * test that only reports, then for real. Run with a folder:
 *   ./files_example /var/lib/vesk/tmp */
#include <stdio.h>

#include <vesk/fs/delete.h>
#include <vesk/fs/filesystem.h>

static int print_entry(fs_dir *dir, fs_file *file, void *user_data)
{
    (void)dir;
    (void)user_data;
    printf("%s %s\n", file->is_dir ? "dir " : "file", file->name);
    return 0; /* non-zero would stop the walk */
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    fs_dir *dir = fs_dir_new(argv[1]);
    if (dir == NULL)
        return 1;
    int count = fs_dir_name_sorted_iter(dir, print_entry, 0, NULL);
    fs_dir_free(dir);
    printf("%d entries, . and .. included\n", count);

    /* Files named a*.tmp at least 0 days old, in this folder only. */
    int reported = execute_delete_test(argv[1], "a", ".tmp", 0, 0, NULL, 0);
    int removed = execute_delete(argv[1], "a", ".tmp", 0, 0, NULL, 0);
    printf("%d reported, %d removed\n", reported, removed);
    return 0;
}

#ifndef TEST_SUPPORT_ACCESS_LISTS_H
#define TEST_SUPPORT_ACCESS_LISTS_H
// Windows access lists for tests: what the host gives what it makes, the
// list a node has, and nodes made with a list of the test's choosing.

#include <filesystem>
#include <string>

namespace testing_support {

namespace fs = std::filesystem;

// The process's user as a SID text.
std::string my_sid();

// The list the host gives what it makes, as SDDL; handed down for a folder.
std::string private_list(bool folder);

// The access list of path, as SDDL.
std::string list_of(const std::string &path);

// Makes the folder (or file) path with the access list sddl.
bool make_with_list(const std::string &path, const std::string &sddl, bool folder);

// Makes the folder path a junction to the folder target (absolute); false
// where the system makes none.
bool make_junction(const std::string &path, const std::string &target);

// Whether the suite runs under wine, which keeps no access lists of its own:
// it turns one into a Unix mode, and reads the mode back as a list (the
// owner, SYSTEM, and Everyone for the others' bits).
bool on_wine();

// The writer that the node path reports, or -1.
int writer_of(const fs::path &path);

// Lets everyone change path, and whether it then reads so: an Everyone grant
// in its list, or under wine the mode 0777, set by the Linux chmod (whose
// status wine does not hand back).
bool open_to_everyone(const fs::path &path);

// Expects the access list of path to be the one the host gives what it
// makes, or under wine what it keeps of it.
void expect_private(const std::string &path, bool folder);

} // namespace testing_support

#endif

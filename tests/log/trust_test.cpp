// Whom the host trusts: each case lays out a small tree in the test folder,
// with another user's files made by root giving them away, and says what
// the judgement must be and how it is told.
#include "log/trust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::write_file;

constexpr int mallory = 4242;

class Trust : public testing_support::TempDirTest {};

void own(const fs::path &path, uid_t user, gid_t group, mode_t mode)
{
    if (lchown(path.c_str(), user, group) != 0 ||
        (!fs::is_symlink(path) && chmod(path.c_str(), mode) != 0))
        throw std::runtime_error("cannot set up " + path.string());
}

void folder(const fs::path &path, mode_t mode = 0755, uid_t user = 0, gid_t group = 0)
{
    fs::create_directory(path);
    own(path, user, group, mode);
}

std::string told(const char *path, int want)
{
    trust_why why;
    int node = trust_open(path, want, &why);
    platform_close(node);
    if (node >= 0)
        return "trusted";
    char text[1400];
    return trust_why_text(&why, text, sizeof text);
}

TEST_F(Trust, JudgesOwnersWritersAccessListsStickyFoldersAndLinks)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user's files need root to give them away";
    const std::string here = dir().string();
    const bool acl = std::system("command -v setfacl >/dev/null") == 0;
    const struct {
        const char *name;
        std::function<void()> lay;
        const char *path;
        int want;
        std::string expected;
    } cases[] = {
        {"a folder of root's", [] { folder("a"); }, "a", TRUST_FOLDER, "trusted"},
        {"another user's folder", [] { folder("a", 0755, mallory, mallory); }, "a/", TRUST_FOLDER,
         "'" + here + "/a' pertence a outro usuario (4242)"},
        {"a folder another group may write", [] { folder("a", 0775, 0, mallory); }, "a",
         TRUST_FOLDER, "'" + here + "/a' pode ser alterado pelo grupo 4242"},
        {"a folder root's group may write", [] { folder("a", 0775, 0, 0); }, "a", TRUST_FOLDER,
         "trusted"},
        {"a folder everyone may write", [] { folder("a", 0777); }, "a", TRUST_FOLDER,
         "'" + here + "/a' pode ser alterado por todos os usuarios"},
        {"an access list granting another user",
         [] {
             folder("a");
             if (std::system("setfacl -m u:4242:rwx a") != 0)
                 throw std::runtime_error("setfacl");
         },
         "a", TRUST_FOLDER,
         "'" + here + "/a' pode ser alterado por uma entrada da lista de acesso"},
        {"an access list whose mask takes write away",
         [] {
             folder("a");
             if (std::system("setfacl -m u:4242:rwx,m:rx a") != 0)
                 throw std::runtime_error("setfacl");
         },
         "a", TRUST_FOLDER, "trusted"},
        {"root's entry of a sticky folder everyone may write",
         [] {
             folder("a", 01777);
             folder("a/b");
         },
         "a/b", TRUST_FOLDER, "trusted"},
        {"the sticky folder itself", [] { folder("a", 01777); }, "a", TRUST_FOLDER,
         "'" + here + "/a' pode ser alterado por todos os usuarios"},
        {"another user's link in a sticky folder",
         [] {
             folder("a", 01777);
             folder("b");
             fs::create_symlink("../b", "a/l");
             own("a/l", mallory, mallory, 0);
         },
         "a/l", TRUST_FOLDER, "'" + here + "/a/l' pertence a outro usuario (4242)"},
        {"root's link in a sticky folder",
         [] {
             folder("a", 01777);
             folder("b");
             fs::create_symlink("../b", "a/l");
         },
         "a/l", TRUST_FOLDER, "trusted"},
        {"root's entry of a folder everyone may write, not sticky",
         [] {
             folder("a", 0777);
             folder("a/b");
         },
         "a/b", TRUST_FOLDER, "'" + here + "/a' pode ser alterado por todos os usuarios"},
        {"a trusted link to another user's folder",
         [] {
             folder("b", 0755, mallory, mallory);
             fs::create_symlink("b", "l");
         },
         "l", TRUST_FOLDER, "'" + here + "/b' pertence a outro usuario (4242)"},
        {"a way back up and down",
         [] {
             folder("a");
             folder("b");
         },
         "a/../b/.", TRUST_FOLDER, "trusted"},
        {"a FIFO where a file is wanted", [] { mkfifo("p", 0600); }, "p", TRUST_FILE,
         "'" + here + "/p' nao e um arquivo comum"},
        {"a file where a folder is wanted", [] { write_file("f", "x"); }, "f/g", TRUST_FILE,
         "'" + here + "/f' nao e uma pasta"},
        {"a missing part", [] {}, "a/b", TRUST_FOLDER, "'" + here + "/a' nao encontrado"},
        {"a relative path where only an absolute one will do", [] { write_file("f", "x"); }, "f",
         TRUST_FILE | TRUST_ABSOLUTE, "'f' nao e um caminho absoluto"},
        {"an absolute path", [] { write_file("f", "x"); }, nullptr, TRUST_FILE | TRUST_ABSOLUTE,
         "trusted"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name).find("access list") != std::string::npos && !acl) {
            std::printf("skipped: %s needs setfacl (package acl)\n", c.name);
            continue;
        }
        for (const char *name : {"a", "b", "f", "l", "p"}) {
            std::error_code ignored;
            fs::permissions(name, fs::perms::owner_all, fs::perm_options::add, ignored);
            fs::remove_all(name, ignored);
        }
        c.lay();
        std::string path = c.path != nullptr ? c.path : here + "/f";
        EXPECT_EQ(told(path.c_str(), c.want), c.expected);
    }
}

// The working folder and every folder above it are judged too.
TEST_F(Trust, AWorkingFolderOfAnotherUsersIsNotTrusted)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user's folder needs root to give it away";
    folder("a");
    own(".", mallory, mallory, 0755);
    EXPECT_EQ(told("a", TRUST_FOLDER), "'" + dir().string() + "' pertence a outro usuario (4242)");
    own(".", 0, 0, 0700);
}

// A trusted file comes open for reading, and it is the very file judged.
TEST_F(Trust, ATrustedFileIsOpenForReading)
{
    write_file("f", "contents");
    trust_why why;
    int fd = trust_open("f", TRUST_FILE, &why);
    ASSERT_GE(fd, 0);
    char buffer[16] = {};
    EXPECT_EQ(read(fd, buffer, sizeof buffer - 1), 8);
    EXPECT_STREQ(buffer, "contents");
    platform_close(fd);
}

} // namespace

// Where the file dialogs may start: a folder that exists, outside the kernel's
// file systems, else the home folder.
#include "panels/Dialogs.h"
#include "support/TempDir.h"

#include <QDir>

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

TEST(DialogFolder, OnlyExistingFoldersOutsideKernelFileSystemsAreUsed) {
    TempDir dir;
    const std::string file = dir.write("file.txt", "x");
    std::filesystem::create_directories(dir.str() + "/music");
    std::filesystem::create_directories(dir.str() + "/proc");
    ASSERT_EQ(symlink("/proc/self", (dir.str() + "/to-proc").c_str()), 0);
    const struct {
        std::string Folder;
        bool Usable;
    } cases[] = {
        {dir.str() + "/music", true},
        {dir.str(), true},
        {QDir::homePath().toStdString(), true},
        {"/", true},
        {"", false},
        {"music", false}, // relative
        {dir.str() + "/missing", false},
        {file, false},
        {"/proc", false},
        {"/proc/self", false},
        {"/proc/sys/kernel", false},
        {"/sys", false},
        {"/sys/class", false},
        {"/dev", false},
        {"/dev/shm", false},
        {dir.str() + "/to-proc", false}, // a link into /proc is /proc
        {dir.str() + "/proc", true},     // refused for where it is, not for its name
    };
    for (const auto& c : cases)
        EXPECT_EQ(UsableDialogFolder(QString::fromStdString(c.Folder)), c.Usable) << c.Folder;

    for (const TDialogFolder kind : {TDialogFolder::Media, TDialogFolder::Playlist}) {
        RememberDialogFolder(kind, "/proc/self/fd");
        EXPECT_EQ(DialogFolder(kind), QDir::homePath());
        RememberDialogFolder(kind, QString::fromStdString(dir.str() + "/music"));
        EXPECT_EQ(DialogFolder(kind).toStdString(), dir.str() + "/music");
        RememberDialogFolder(kind, QString());
    }
}

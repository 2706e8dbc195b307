// The settings store on real INI files: reading and writing values, the file's
// location, atomic and lossless saving.
#include "settings/SettingsStore.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

#include <algorithm>
#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& Path) {
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

std::vector<std::string> Listing(const fs::path& Folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string FlushMessage(SettingsStore& Store) {
    try {
        Store.Flush();
    } catch (const ESettingsError& error) {
        return error.what();
    }
    return "";
}

// Flushes where files may not grow beyond Limit bytes; the failure's message, if any.
std::string FlushMessageUnderSizeLimit(SettingsStore& Store, rlim_t Limit) {
    return RunUnderFileSizeLimit(Limit, [&] { return FlushMessage(Store); });
}

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* Name, const char* Value) : name_(Name) {
        if (const char* old = getenv(Name))
            old_ = old;
        if (Value)
            setenv(Name, Value, 1);
        else
            unsetenv(Name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(SettingsStore, AbsentFileGivesDefaults) {
    TempDir dir;
    SettingsStore store(Q(dir.str() + "/2.ini"));
    EXPECT_EQ(store.LoadError(), "");
    EXPECT_EQ(store.ReadString("Folders", "Item 1", "dflt"), "dflt");
    EXPECT_EQ(store.ReadInteger("Folders", "Item Count", 7), 7);
    EXPECT_TRUE(store.ReadBool("Folders", "Recurse", true));
    EXPECT_FALSE(store.SectionExists("Folders"));
}

TEST(SettingsStore, IntegersAreStrictDecimalTexts) {
    TempDir dir;
    const std::string file = dir.write("2.ini", "[N]\na=3\nb=-1\nc=+7\nd=007\ne=\nf=abc\ng= 3\n"
                                                "h=0x10\ni=99999999999\nj=1.5\nk=2\nl=0\n");
    SettingsStore store(Q(file));
    EXPECT_EQ(store.ReadInteger("N", "a", 0), 3);
    EXPECT_EQ(store.ReadInteger("N", "b", 0), -1);
    EXPECT_EQ(store.ReadInteger("N", "c", 0), 7);
    EXPECT_EQ(store.ReadInteger("N", "d", 0), 7);
    // Blanks around a value are trimmed when read, so "g= 3" is the text "3".
    EXPECT_EQ(store.ReadInteger("N", "g", 0), 3);
    for (const char* name : {"e", "f", "h", "i", "j"})
        EXPECT_EQ(store.ReadInteger("N", name, -5), -5) << name;
    EXPECT_TRUE(store.ReadBool("N", "k", false));
    EXPECT_FALSE(store.ReadBool("N", "l", true));
    EXPECT_TRUE(store.ReadBool("N", "f", true));
    EXPECT_FALSE(store.ReadBool("N", "f", false));
    // Names compare regardless of the case of A-Z.
    EXPECT_EQ(store.ReadInteger("n", "A", 0), 3);

    int number = 0;
    EXPECT_FALSE(SettingsStore::ParseInteger("+-3", number));
    EXPECT_FALSE(SettingsStore::ParseInteger("+", number));
    EXPECT_FALSE(SettingsStore::ParseInteger("3 ", number));
}

TEST(SettingsStore, WritesExactLayoutAndEraseTakesSubsections) {
    TempDir dir;
    const std::string file = dir.str() + "/sub/folder/2.ini"; // the folders are created
    SettingsStore store(Q(file));
    store.WriteInteger("Folders", "Item Count", 3);
    store.WriteString("Folders", "Item 1", "/music");
    store.WriteInteger("Folders", "Item 1 State", -1);
    store.WriteBool("Folders", "Recurse", true);
    store.WriteBool("Options", "Include Tagless Files", false);
    store.WriteString("Folders", "Item Count", "1"); // replaced in its place
    store.WriteString("Gone", "x", "1");
    store.WriteString("Gone\\Below", "y", "2");
    store.WriteString("Gone2", "z", "3");
    store.EraseSection("gone");
    store.EraseSection("Never There");
    store.Flush();
    EXPECT_EQ(TempDir::read(file), "[Folders]\nItem Count=1\nItem 1=/music\nItem 1 State=-1\n"
                                   "Recurse=1\n\n[Options]\nInclude Tagless Files=0\n\n"
                                   "[Gone2]\nz=3\n");
}

TEST(SettingsStore, FlushReplacesWholeFileAtomically) {
    TempDir dir;
    const std::string file = dir.write("2.ini", "[Old]\n" + std::string(5000, 'x') + "=1\n");
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    {
        SettingsStore store(Q(file));
        EXPECT_EQ(store.LoadError(), "");
        store.EraseSection("Old");
        store.WriteString("New", "a", "b");
        store.Flush();
    }
    EXPECT_EQ(TempDir::read(file), "[New]\na=b\n");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"2.ini"});
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // Saving through a symbolic link updates its target and keeps the link.
    const std::string link = dir.str() + "/link.ini";
    fs::create_symlink("2.ini", link);
    SettingsStore linked(Q(link));
    EXPECT_EQ(linked.ReadString("New", "a", ""), "b");
    linked.WriteString("New", "a", "c");
    linked.Flush();
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TempDir::read(file), "[New]\na=c\n");
}

TEST(SettingsStore, FileLocationFollowsEnvironment) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv chosen("MORVANE_SETTINGS", "/tmp/x/my.ini");
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(SettingsStore::DefaultFileName(), "/tmp/x/my.ini");
    }
    ScopedEnv chosen("MORVANE_SETTINGS", nullptr);
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(SettingsStore::DefaultFileName(), "/cfg/Morvane/2.ini");
    }
    {
        ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(SettingsStore::DefaultFileName(), "/home/someone/.config/Morvane/2.ini");
    }
    {
        ScopedEnv config("XDG_CONFIG_HOME", "");
        ScopedEnv emptyChoice("MORVANE_SETTINGS", "");
        EXPECT_EQ(SettingsStore::DefaultFileName(), "/home/someone/.config/Morvane/2.ini");
    }
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(SettingsStore::DefaultFileName(), "/home/someone/.config/Morvane/2.ini");
}

TEST(SettingsStore, DamagedFileIsReportedAndCopiedBeforeItIsReplaced) {
    TempDir dir;
    const std::string damaged = "[Folders]\nItem Count=2\nItem 1=/a\nthis line is damaged\n"
                                "Item 2=/b\n";
    const std::string file = dir.write("2.ini", damaged);
    SettingsStore store(Q(file));
    EXPECT_EQ(store.LoadError(),
              "settings file " + file + ", line 4: cannot read \"this line is damaged\"");
    EXPECT_EQ(store.ReadString("Folders", "Item 2", ""), "/b");
    store.WriteString("Folders", "Item 3", "/c");
    store.Flush();

    const std::vector<std::string> names = Listing(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "2.ini");
    EXPECT_TRUE(names[1].starts_with("2.ini.damaged-")) << names[1];
    EXPECT_EQ(dir.str() + "/" + names[1], store.DamagedCopyName());
    EXPECT_EQ(TempDir::read(dir.str() + "/" + names[1]), damaged);
    EXPECT_EQ(TempDir::read(file), "[Folders]\nItem Count=2\nItem 1=/a\nItem 2=/b\nItem 3=/c\n");

    // Once written whole, the file is clean: later saves keep no more copies.
    store.Flush();
    SettingsStore again(Q(file));
    EXPECT_EQ(again.LoadError(), "");
    again.Flush();
    EXPECT_EQ(Listing(dir.path()).size(), 2u);
}

TEST(SettingsStore, DefaultedValueKeepsCopyOfFileAsFound) {
    TempDir dir;
    const std::string found = "[Folders]\nItem Count=abc\nItem 1=/a\n";
    const std::string file = dir.write("2.ini", found);
    SettingsStore store(Q(file));
    EXPECT_EQ(store.LoadError(), "");
    EXPECT_EQ(store.ReadInteger("Folders", "Item Count", 0), 0);
    store.EraseSection("Folders");
    store.Flush();
    ASSERT_FALSE(store.DamagedCopyName().empty());
    EXPECT_EQ(TempDir::read(store.DamagedCopyName()), found);

    // A file whose values all read cleanly is replaced without a copy.
    const std::string cleanFile = dir.write("clean/2.ini", "[Folders]\nItem Count=1\n");
    SettingsStore clean(Q(cleanFile));
    EXPECT_EQ(clean.ReadInteger("Folders", "Item Count", 0), 1);
    clean.Flush();
    EXPECT_TRUE(clean.DamagedCopyName().empty());
    EXPECT_EQ(Listing(dir.path() / "clean"), std::vector<std::string>{"2.ini"});
}

TEST(SettingsStore, UnreadableOrUnwritableFileFailsWithoutLoss) {
    TempDir dir;
    // A folder where the file should be is refused, and never replaced.
    fs::create_directories(dir.path() / "2.ini" / "inside");
    const std::string file = dir.str() + "/2.ini";
    SettingsStore store(Q(file));
    EXPECT_EQ(store.LoadError(), "cannot read settings file " + file + ": it is a folder");
    EXPECT_EQ(store.ReadInteger("Folders", "Item Count", 4), 4);
    store.WriteString("Folders", "Item Count", "0");
    EXPECT_EQ(FlushMessage(store), "cannot save settings file " + file +
                                       ": it could not be read (it is a folder), so it is left "
                                       "as it is");
    EXPECT_TRUE(fs::is_directory(dir.path() / "2.ini" / "inside"));
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"2.ini"});

    // A plain file where the settings folder should be.
    dir.write("plain", "x");
    const std::string underFile = dir.str() + "/plain/Morvane/2.ini";
    SettingsStore blocked(Q(underFile));
    blocked.WriteBool("Options", "Include Tagless Files", true);
    EXPECT_EQ(FlushMessage(blocked),
              "cannot save settings file " + underFile + ": Folder not found");
    EXPECT_EQ(TempDir::read(dir.str() + "/plain"), "x");
}

TEST(SettingsStore, FailedWriteLeavesFormerFileIntact) {
    TempDir dir;
    const std::string former = "[Folders]\nItem Count=1\nItem 1=/music\nItem 1 State=1\n";
    const std::string file = dir.write("2.ini", former);
    SettingsStore store(Q(file));
    for (int n = 2; n < 200; ++n)
        store.WriteString("Folders", "Item " + std::to_string(n), std::string(40, 'x'));
    EXPECT_EQ(FlushMessageUnderSizeLimit(store, 256),
              "cannot save settings file " + file + ": Disk full");
    EXPECT_EQ(TempDir::read(file), former);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"2.ini"});
    // Within the limit the same store is written.
    EXPECT_EQ(FlushMessageUnderSizeLimit(store, 1 << 20), "");
    EXPECT_NE(TempDir::read(file).find("Item 199=" + std::string(40, 'x')), std::string::npos);
}

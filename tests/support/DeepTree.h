// Folder chains deeper than a path may be long: made and removed one level at
// a time through descriptors, since no whole path to their bottom can be opened.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Makes Levels nested folders named Name below Top; AtLevel(fd, level) may add
// to each (level 1 is the outermost).
inline void MakeDeepTree(const std::string& Top, int Levels, const char* Name,
                         const std::function<void(int, int)>& AtLevel = {}) {
    int Fd = open(Top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int Level = 1; Level <= Levels && Fd >= 0; ++Level) {
        if (mkdirat(Fd, Name, 0755) != 0)
            break;
        const int Next = openat(Fd, Name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(Fd);
        Fd = Next;
        if (Fd >= 0 && AtLevel)
            AtLevel(Fd, Level);
    }
    if (Fd < 0)
        throw std::runtime_error("cannot make the deep tree");
    close(Fd);
}

// Removes the chain below Top/Name from the top down: the level below is moved
// up beside it each time, so no path ever gets long.
inline void RemoveDeepTree(const std::string& Top, const char* Name) {
    const int TopFd = open(Top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (TopFd < 0)
        return;
    const std::string Below = std::string(Name) + "/" + Name;
    const std::string Spare = std::string(Name) + ".spare";
    for (;;) {
        const int Fd = openat(TopFd, Name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Fd < 0)
            break;
        std::vector<std::string> Others;
        if (DIR* Dir = fdopendir(dup(Fd))) {
            while (const dirent* Entry = readdir(Dir)) {
                const std::string EntryName = Entry->d_name;
                if (EntryName != "." && EntryName != ".." && EntryName != Name)
                    Others.push_back(EntryName);
            }
            closedir(Dir);
        }
        for (const std::string& Other : Others)
            if (unlinkat(Fd, Other.c_str(), 0) != 0)
                unlinkat(Fd, Other.c_str(), AT_REMOVEDIR);
        close(Fd);
        const bool Deeper = renameat(TopFd, Below.c_str(), TopFd, Spare.c_str()) == 0;
        unlinkat(TopFd, Name, AT_REMOVEDIR);
        if (!Deeper || renameat(TopFd, Spare.c_str(), TopFd, Name) != 0)
            break;
    }
    close(TopFd);
}

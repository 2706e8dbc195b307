// Entries relative to the playlist's folder, found on real paths.
#include "playlists/RelativePaths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>

namespace {

// The real path of Path, every link resolved; empty when it cannot be reached.
std::string RealPath(const std::string& Path) {
    std::unique_ptr<char, decltype(&std::free)> Real(realpath(Path.c_str(), nullptr), &std::free);
    return Real ? std::string(Real.get()) : std::string();
}

// An absolute folder with "//", "/." and a trailing "/" taken out; ".." stays,
// since only the file system knows where it leads.
std::string CleanFolder(const std::string& Folder) {
    std::string Clean;
    for (std::size_t At = 0; At < Folder.size();) {
        const std::size_t Next = std::min(Folder.find('/', At), Folder.size());
        const std::string Part = Folder.substr(At, Next - At);
        if (!Part.empty() && Part != ".")
            Clean += '/' + Part;
        At = Next + 1;
    }
    return Clean.empty() ? "/" : Clean;
}

// Inner lies below Outer (both real paths).
bool Within(const std::string& Inner, const std::string& Outer) {
    if (Outer == "/")
        return true;
    return Inner.size() > Outer.size() && Inner.compare(0, Outer.size(), Outer) == 0 &&
           Inner[Outer.size()] == '/';
}

std::string Parent(const std::string& Folder) {
    const std::size_t Slash = Folder.rfind('/');
    return Slash == 0 || Slash == std::string::npos ? "/" : Folder.substr(0, Slash);
}

} // namespace

TRelativePaths::TRelativePaths(const std::string& PlaylistFile) {
    const std::size_t Slash = PlaylistFile.rfind('/');
    const std::string Folder = Slash == std::string::npos ? "." : PlaylistFile.substr(0, Slash + 1);
    folder_ = RealPath(Folder);
    struct stat Info;
    if (folder_.empty() || stat(folder_.c_str(), &Info) != 0)
        folder_.clear();
    else
        device_ = Info.st_dev;
}

TRelativePaths::TFolderWay TRelativePaths::WayTo(const std::string& Folder) {
    TFolderWay Way;
    bool SawEntryDevice = false;
    for (std::string Up = Folder;; Up = Parent(Up)) {
        const std::string Real = RealPath(Up);
        if (!Real.empty() && !SawEntryDevice) {
            // The deepest folder of the entry that exists, not followed if it
            // is a link: a mount point on the way down means another file system.
            struct stat Info;
            if (lstat(Up.c_str(), &Info) != 0 || Info.st_dev != device_)
                return Way;
            SawEntryDevice = true;
        }
        if (!Real.empty() && (Real == folder_ || Within(folder_, Real))) {
            struct stat Info;
            if (stat(Real.c_str(), &Info) != 0 || Info.st_dev != device_)
                return Way;
            // Up from the playlist's folder to the shared one, then down as the entry spells it.
            const std::size_t Depth =
                Real == folder_
                    ? 0
                    : static_cast<std::size_t>(
                          std::count(folder_.begin() +
                                         static_cast<std::ptrdiff_t>(Real == "/" ? 0 : Real.size()),
                                     folder_.end(), '/'));
            for (std::size_t I = 0; I < Depth; ++I)
                Way.Prefix += "../";
            if (Up.size() < Folder.size())
                Way.Prefix += Folder.substr(Up == "/" ? 1 : Up.size() + 1) + '/';
            Way.Possible = true;
            return Way;
        }
        if (Up == "/")
            return Way;
    }
}

bool TRelativePaths::Make(const std::string& Entry, std::string& Relative) {
    if (folder_.empty() || Entry.empty() || Entry[0] != '/')
        return false;
    const std::size_t Slash = Entry.rfind('/');
    const std::string Name = Entry.substr(Slash + 1);
    if (Name.empty() || Name == "." || Name == "..")
        return false;
    const std::string Folder = CleanFolder(Entry.substr(0, Slash));
    auto Found = ways_.find(Folder);
    if (Found == ways_.end())
        Found = ways_.emplace(Folder, WayTo(Folder)).first;
    if (!Found->second.Possible)
        return false;
    Relative = Found->second.Prefix + Name;
    return true;
}

// Later copies of a file in a playlist, and search folders that overlap.
#include "engine/Duplicates.h"

#include "model/MessageText.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <utility>

std::vector<std::size_t> DuplicateRows(const std::vector<std::string>& Paths) {
    std::set<std::pair<dev_t, ino_t>> Files;
    std::set<std::string> Unreachable;
    std::vector<std::size_t> Rows;
    for (std::size_t Row = 0; Row < Paths.size(); ++Row) {
        struct stat Info;
        const bool New = stat(Paths[Row].c_str(), &Info) == 0
                             ? Files.emplace(Info.st_dev, Info.st_ino).second
                             : Unreachable.insert(Paths[Row]).second;
        if (!New)
            Rows.push_back(Row);
    }
    return Rows;
}

std::string RemovedDuplicatesText(std::size_t Count) {
    if (Count == 0)
        return "No duplicates found.";
    return "Removed " + std::to_string(Count) + (Count == 1 ? " duplicate." : " duplicates.");
}

namespace {

// The folder with every link and "." or ".." resolved; empty when it cannot be reached.
std::string RealFolder(const std::string& Folder) {
    std::unique_ptr<char, decltype(&std::free)> Real(realpath(Folder.c_str(), nullptr), &std::free);
    return Real ? std::string(Real.get()) : std::string();
}

bool IsInside(const std::string& Inner, const std::string& Outer) {
    if (Outer == "/")
        return Inner.size() > 1 && Inner[0] == '/';
    return Inner.size() > Outer.size() + 1 && Inner.compare(0, Outer.size(), Outer) == 0 &&
           Inner[Outer.size()] == '/';
}

} // namespace

std::vector<TFolderOverlap> FolderOverlaps(const std::vector<std::string>& Folders, bool Recurse) {
    std::vector<std::string> Real;
    Real.reserve(Folders.size());
    for (const std::string& Folder : Folders)
        Real.push_back(RealFolder(Folder));
    std::vector<TFolderOverlap> Overlaps;
    for (std::size_t I = 0; I < Real.size(); ++I) {
        if (Real[I].empty())
            continue;
        bool Found = false;
        for (std::size_t J = 0; J < I && !Found; ++J)
            if (Real[J] == Real[I]) {
                Overlaps.push_back({I, J, false});
                Found = true;
            }
        for (std::size_t J = 0; J < Real.size() && !Found && Recurse; ++J)
            if (!Real[J].empty() && IsInside(Real[I], Real[J])) {
                Overlaps.push_back({I, J, true});
                Found = true;
            }
    }
    return Overlaps;
}

std::string FolderOverlapText(const TFolderOverlap& Overlap,
                              const std::vector<std::string>& Folders) {
    const std::string Folder = QuoteForMessage(Folders.at(Overlap.Index), 1024);
    if (!Overlap.Inside)
        return Folder + " is listed twice; its files will be found twice";
    return Folder + " is inside " + QuoteForMessage(Folders.at(Overlap.Other), 1024) +
           "; its files will be found twice";
}

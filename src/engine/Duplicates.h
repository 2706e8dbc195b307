// The same file more than once in a playlist: finding the later copies, and
// the search folders that make a compile find files twice.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The rows (indices into Paths) that repeat an earlier row's file, in
// ascending order: the first row of each file stays. Two paths are one file
// when they reach the same device and inode, through links or not; a path
// that cannot be reached is the same file only as the same bytes.
std::vector<std::size_t> DuplicateRows(const std::vector<std::string>& Paths);
// Removes the given rows (ascending, as DuplicateRows gives them) in one pass.
template <class T> void RemoveRows(std::vector<T>& Items, const std::vector<std::size_t>& Rows) {
    std::size_t Kept = 0, Next = 0;
    for (std::size_t I = 0; I < Items.size(); ++I) {
        if (Next < Rows.size() && Rows[Next] == I) {
            ++Next;
            continue;
        }
        if (Kept != I)
            Items[Kept] = std::move(Items[I]);
        ++Kept;
    }
    Items.resize(Kept);
}

// "Removed 3 duplicates.", "Removed 1 duplicate.", "No duplicates found."
std::string RemovedDuplicatesText(std::size_t Count);

// A search folder that repeats another: listed twice (the same folder
// however it is spelt), or inside another one that is searched with its
// subfolders. Index and Other index the folders given.
struct TFolderOverlap {
    std::size_t Index = 0;
    std::size_t Other = 0;
    bool Inside = false; // false: the same folder as Other
};

// In list order, each folder compared with the ones before it (and, for
// Inside, after it). Folders that cannot be reached are left out.
std::vector<TFolderOverlap> FolderOverlaps(const std::vector<std::string>& Folders, bool Recurse);

// "/music is listed twice; its files will be found twice" or "/music/rock is
// inside /music; its files will be found twice".
std::string FolderOverlapText(const TFolderOverlap& Overlap,
                              const std::vector<std::string>& Folders);

// What the tag index keeps of one file: the file's identity as the file
// system gives it, and the decoded fields packed into one blob. Plain C++.
#pragma once

#include "media/MediaUtils.h"

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What tells that a file is still the one that was read: any write changes
// the change time, even when a tagger puts the modification time back.
struct TFileStamp {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;
    std::int64_t ModifiedNs = 0;
    std::int64_t ChangedNs = 0;
    bool operator==(const TFileStamp&) const = default;
};

// The stamp of Name in FolderFd (links followed); false when it is not a
// regular file or cannot be stat'ed.
bool StampAt(int FolderFd, const char* Name, TFileStamp& Stamp);
// The same from a status already at hand.
bool StampOf(const struct stat& Info, TFileStamp& Stamp);

// Whether a file changed so recently (within MarginNs of NowNs, the real-time
// clock) that a write in the same clock tick could still follow unseen: file
// times advance in coarse ticks, so its times would not move. Such a file is
// read but not remembered.
bool TooRecentToRemember(const TFileStamp& Stamp, std::int64_t NowNs, std::int64_t MarginNs);
std::int64_t NowNs();

// The fields as one blob: a version byte, the texts of every field in the
// order of TMediaField (each a length and its bytes), the count of separate
// values and each as its field's number, a length and its bytes, then the
// content format's number.
std::string PackMediaInfo(const TMediaInfo& Info);
// False for a blob that is not one PackMediaInfo made; Info is then untouched.
bool UnpackMediaInfo(std::string_view Blob, TMediaInfo& Info);

// One file of a folder's row, its texts viewing the bytes it came from.
struct TPackedFile {
    std::string_view Name; // within the folder
    TFileStamp Stamp;
    int ReaderVersion = 0;
    std::string_view CodePage;
    bool ReadOtherFormats = false;
    int Sources = -1; // the TTagSources of the tag read, -1 none
    bool Found = false;
    std::string_view Fields;    // PackMediaInfo of what it found
    std::int64_t LengthMs = -2; // -2 not read
    std::int64_t SeenDay = 0;
};

// A folder's files as one blob: a version byte, the count of files, then
// each file's part (its name and what is remembered of it), in the order of
// Files (which the writer keeps by name, bytewise).
std::string PackFolder(const std::vector<TPackedFile>& Files);
// One file's part, as PackFolder writes it, appended to Out.
void PackFilePart(std::string& Out, const TPackedFile& File);
// The same for a file just read: its fields packed from Info straight into
// Out (none when File.Found is false); File.Fields is not looked at.
void PackReadFilePart(std::string& Out, const TPackedFile& File, const TMediaInfo& Info);
// Exactly one file's part; false for anything else. The views point into Part.
bool UnpackFilePart(std::string_view Part, TPackedFile& File);
// A folder's row made of parts as they are, given in name order, each name once.
std::string PackFolderOfParts(const std::vector<std::string_view>& Parts);
// False for a blob that is not one PackFolder made; Files then holds the
// files before the damage. The views point into Blob.
bool UnpackFolder(std::string_view Blob, std::vector<TPackedFile>& Files);
// The first file of a folder's row alone; false for a row of no files or
// one damaged there.
bool UnpackFirstFile(std::string_view Blob, TPackedFile& File);

// Where a path's folder ends: its folder is the bytes before (with the '/').
std::size_t FolderEnd(std::string_view Path);
// The file called Name among a folder's unpacked Files (in name order), or null.
const TPackedFile* FileNamed(const std::vector<TPackedFile>& Files, std::string_view Name);

// What a compile answers from: the index's rows below its folders, and the
// stamps it took of its files while they loaded.
#pragma once

#include "index/IndexRow.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Bytes in large blocks that never move once made.
class TByteBlocks {
public:
    // Room for Size bytes; a run larger than a block gets a block of its own.
    char* Reserve(std::size_t Size);
    void Clear();

private:
    static constexpr std::size_t BytesPerBlock = std::size_t{1} << 20;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = BytesPerBlock; // bytes taken of the last block
    std::size_t size_ = BytesPerBlock; // the last block's size
};

// The stamps a compile took of its files ahead of the walk, by path: in a
// few large blocks with an open-addressing table over the paths, so that
// adding a file costs no allocation and a look-up is one hash and one compare.
class TTakenStamps {
public:
    // Stamps are added first, then Seal makes them findable; a path given
    // twice keeps its first stamp. False (and nothing added) once the paths
    // would pass 2^31.
    bool Add(std::string_view Path, const TFileStamp& Stamp);
    void Seal();
    void Clear();

    // The stamp taken of Path, or null.
    const TFileStamp* Find(std::string_view Path) const;

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

private:
    static constexpr std::uint32_t NoStamp = 0xFFFFFFFF;
    static constexpr std::size_t StampsPerBlock = 4096;
    struct TTaken {
        TFileStamp Stamp;
        std::uint64_t Hash = 0;
        const char* Path = nullptr;
        std::uint32_t PathSize = 0;
        std::string_view PathView() const { return {Path, PathSize}; }
    };

    TTaken& At(std::uint32_t Index) {
        return stampBlocks_[Index / StampsPerBlock][Index % StampsPerBlock];
    }
    const TTaken& At(std::uint32_t Index) const {
        return stampBlocks_[Index / StampsPerBlock][Index % StampsPerBlock];
    }

    std::vector<std::unique_ptr<TTaken[]>> stampBlocks_;
    TByteBlocks bytes_;
    std::size_t count_ = 0;
    std::vector<std::uint32_t> slots_; // a power of two of stamp numbers, NoStamp for none
};

// The remembered rows below a compile's folders as the index keeps them, a
// row per folder with its files packed in name order. Loading copies each
// folder's row whole; a folder's files are unpacked when a compile first
// looks in it, on the thread that looks (each thread keeps the folder it
// looked in last), so the walk does not wait for every file below its
// folders to be unpacked before it starts. Only files that a compile with
// the table's code page and option, by this reader version, may trust are
// found (as far as those go: each file's stamp and sources are for the
// caller to check).
class TRememberedFolders {
public:
    TRememberedFolders(std::string CodePage, bool ReadOtherFormats);
    TRememberedFolders(const TRememberedFolders&) = delete;
    TRememberedFolders& operator=(const TRememberedFolders&) = delete;

    // Folders are added first (Folder with the '/' that ends it, Packed as
    // PackFolder made it), then Seal makes them findable; a folder added
    // twice keeps its first row. False (and nothing added) once the folders
    // would pass 2^31 or a row 4 GiB.
    bool Add(std::string_view Folder, std::string_view Packed);
    void Seal();

    // The file at Path, or null: valid until this thread's next Find. Any
    // number of threads may look at once.
    const TPackedFile* Find(std::string_view Path) const;

    bool empty() const { return folders_.empty(); }
    // Folders whose first file this table would give: how a compile tells
    // whether its reads are likely answered here (after a change of code
    // page, none are).
    std::size_t FoldersLikelyFound() const { return likelyFound_; }
    // The files Find would give, every folder unpacked (for tests and the
    // benchmark; a compile does not count them).
    std::size_t CountFiles() const;

private:
    static constexpr std::uint32_t NoFolder = 0xFFFFFFFF;
    struct TFolder {
        std::uint64_t Hash = 0;
        const char* Bytes = nullptr; // the path, then the packed files
        std::uint32_t PathSize = 0, PackedSize = 0;
        std::string_view Path() const { return {Bytes, PathSize}; }
        std::string_view Packed() const { return {Bytes + PathSize, PackedSize}; }
    };

    bool Gives(const TPackedFile& File) const;
    std::uint32_t FolderAt(std::string_view Path) const;

    std::string codePage_;
    bool readOtherFormats_;
    std::uint64_t serial_; // tells this table from every other, for each thread's folder kept
    std::vector<TFolder> folders_;
    TByteBlocks bytes_;
    std::vector<std::uint32_t> slots_; // a power of two of folder numbers, NoFolder for none
    std::size_t likelyFound_ = 0;
};

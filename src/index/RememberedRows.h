// What a compile answers from: the index's rows below its folders, and the
// stamps it took of its files while they loaded.
#pragma once

#include "index/IndexRow.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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

// The numbers of a table's entries in an open-addressing table over the
// paths that name them (each with its hash): a look-up is one hash and one
// compare. Of a path given twice, the first entry is kept.
class TPathSlots {
public:
    static constexpr std::uint32_t None = 0xFFFFFFFF;
    static std::uint64_t HashOf(std::string_view Path);

    // Entries 0 .. Count-1; KeyOf(Index) gives an entry's hash and path.
    template <class KeyOf> void Build(std::uint32_t Count, KeyOf&& Key) {
        slots_.assign(std::bit_ceil(std::max<std::size_t>(std::size_t{Count} * 2, 16)), None);
        const std::size_t Mask = slots_.size() - 1;
        for (std::uint32_t Index = 0; Index < Count; ++Index) {
            const auto [Hash, Path] = Key(Index);
            std::size_t Slot = Hash & Mask;
            for (; slots_[Slot] != None; Slot = (Slot + 1) & Mask) {
                const auto [OtherHash, OtherPath] = Key(slots_[Slot]);
                if (OtherHash == Hash && OtherPath == Path)
                    break;
            }
            if (slots_[Slot] == None)
                slots_[Slot] = Index;
        }
    }
    // The entry Path names, or None.
    template <class KeyOf> std::uint32_t Find(std::string_view Path, KeyOf&& Key) const {
        if (slots_.empty())
            return None;
        const std::uint64_t Hash = HashOf(Path);
        const std::size_t Mask = slots_.size() - 1;
        for (std::size_t Slot = Hash & Mask; slots_[Slot] != None; Slot = (Slot + 1) & Mask) {
            const auto [EntryHash, EntryPath] = Key(slots_[Slot]);
            if (EntryHash == Hash && EntryPath == Path)
                return slots_[Slot];
        }
        return None;
    }
    // Each entry kept, once.
    template <class Each> void ForEach(Each&& Visit) const {
        for (const std::uint32_t Index : slots_)
            if (Index != None)
                Visit(Index);
    }
    void Clear() { slots_.clear(); }

private:
    std::vector<std::uint32_t> slots_; // a power of two of entry numbers, None for none
};

// The stamps a compile took of its files ahead of the walk, by path: in a
// few large blocks with a table of slots over the paths, so that adding a
// file costs no allocation.
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
    TPathSlots slots_;
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
    static constexpr std::uint32_t NoFolder = TPathSlots::None;
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
    TPathSlots slots_;
    std::size_t likelyFound_ = 0;
};

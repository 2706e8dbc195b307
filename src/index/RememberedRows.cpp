#include "index/RememberedRows.h"

#include "media/ReaderVersion.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <functional>

std::uint64_t TRememberedRows::HashOf(std::string_view Path) {
    return std::hash<std::string_view>()(Path);
}

char* TByteBlocks::Reserve(std::size_t Size) {
    if (size_ - used_ < Size) {
        size_ = std::max(Size, BytesPerBlock);
        blocks_.emplace_back(new char[size_]);
        used_ = 0;
    }
    char* At = blocks_.back().get() + used_;
    used_ += Size;
    return At;
}

void TByteBlocks::Clear() {
    blocks_.clear();
    used_ = size_ = BytesPerBlock;
}

bool TRememberedRows::Add(std::string_view Folder, std::string_view Name, const TFileStamp& Stamp,
                          int Sources, bool Found, std::string_view Fields, std::int64_t SeenDay,
                          std::int64_t LengthMs) {
    const std::size_t PathSize = Folder.size() + Name.size();
    if (count_ + 1 >= NoRow / 2 || PathSize > NoRow || Fields.size() > NoRow)
        return false;
    if (count_ % RowsPerBlock == 0)
        rowBlocks_.emplace_back(new TRow[RowsPerBlock]);
    char* Bytes = bytes_.Reserve(PathSize + Fields.size());
    if (!Folder.empty())
        std::memcpy(Bytes, Folder.data(), Folder.size());
    if (!Name.empty())
        std::memcpy(Bytes + Folder.size(), Name.data(), Name.size());
    if (!Fields.empty())
        std::memcpy(Bytes + PathSize, Fields.data(), Fields.size());
    TRow& Row = RowAt(static_cast<std::uint32_t>(count_++));
    Row.Stamp = Stamp;
    Row.Hash = HashOf({Bytes, PathSize});
    Row.Bytes = Bytes;
    Row.PathSize = static_cast<std::uint32_t>(PathSize);
    Row.FieldsSize = static_cast<std::uint32_t>(Fields.size());
    Row.SeenDay = SeenDay;
    Row.LengthMs = LengthMs;
    Row.Sources = Sources;
    Row.Found = Found;
    return true;
}

void TRememberedRows::Seal() {
    slots_.assign(std::bit_ceil(std::max<std::size_t>(count_ * 2, 16)), NoRow);
    const std::size_t Mask = slots_.size() - 1;
    for (std::uint32_t Index = 0; Index < count_; ++Index) {
        const TRow& Row = RowAt(Index);
        std::size_t Slot = Row.Hash & Mask;
        while (slots_[Slot] != NoRow) {
            // A path met twice (a folder listed twice) keeps its first row.
            const TRow& Other = RowAt(slots_[Slot]);
            if (Other.Hash == Row.Hash && Path(Other) == Path(Row))
                break;
            Slot = (Slot + 1) & Mask;
        }
        if (slots_[Slot] == NoRow)
            slots_[Slot] = Index;
    }
}

void TRememberedRows::Clear() {
    rowBlocks_.clear();
    bytes_.Clear();
    count_ = 0;
    slots_.clear();
}

const TRememberedRows::TRow* TRememberedRows::Find(std::string_view Path,
                                                   std::uint64_t Hash) const {
    if (slots_.empty())
        return nullptr;
    const std::size_t Mask = slots_.size() - 1;
    for (std::size_t Slot = Hash & Mask; slots_[Slot] != NoRow; Slot = (Slot + 1) & Mask) {
        const TRow& Row = RowAt(slots_[Slot]);
        if (Row.Hash == Hash && this->Path(Row) == Path)
            return &Row;
    }
    return nullptr;
}

namespace {

// The folder a thread looked in last, unpacked, and where in it the next
// look is likely to be (the walk asks for a folder's files in turn).
struct TLookedIn {
    std::uint64_t Table = 0; // no table has serial 0
    std::uint32_t Folder = 0;
    std::vector<TPackedFile> Files; // viewing the table's bytes
    std::size_t Next = 0;
};

thread_local TLookedIn LookedIn;
std::atomic<std::uint64_t> TableSerials{0};

} // namespace

TRememberedFolders::TRememberedFolders(std::string CodePage, bool ReadOtherFormats)
    : codePage_(std::move(CodePage)), readOtherFormats_(ReadOtherFormats),
      serial_(TableSerials.fetch_add(1, std::memory_order_relaxed) + 1) {}

bool TRememberedFolders::Gives(const TPackedFile& File) const {
    return File.ReaderVersion == TagReaderVersion && File.Sources >= 0 &&
           File.ReadOtherFormats == readOtherFormats_ && File.CodePage == codePage_;
}

bool TRememberedFolders::Add(std::string_view Folder, std::string_view Packed) {
    if (folders_.size() + 1 >= NoFolder / 2 || Folder.size() > NoFolder || Packed.size() > NoFolder)
        return false;
    char* Bytes = bytes_.Reserve(Folder.size() + Packed.size());
    if (!Folder.empty())
        std::memcpy(Bytes, Folder.data(), Folder.size());
    if (!Packed.empty())
        std::memcpy(Bytes + Folder.size(), Packed.data(), Packed.size());
    TFolder& Added = folders_.emplace_back();
    Added.Bytes = Bytes;
    Added.PathSize = static_cast<std::uint32_t>(Folder.size());
    Added.PackedSize = static_cast<std::uint32_t>(Packed.size());
    Added.Hash = TRememberedRows::HashOf(Added.Path());
    TPackedFile First;
    if (UnpackFirstFile(Added.Packed(), First) && Gives(First))
        ++likelyFound_;
    return true;
}

void TRememberedFolders::Seal() {
    slots_.assign(std::bit_ceil(std::max<std::size_t>(folders_.size() * 2, 16)), NoFolder);
    const std::size_t Mask = slots_.size() - 1;
    for (std::uint32_t Index = 0; Index < folders_.size(); ++Index) {
        const TFolder& Folder = folders_[Index];
        std::size_t Slot = Folder.Hash & Mask;
        while (slots_[Slot] != NoFolder) {
            const TFolder& Other = folders_[slots_[Slot]];
            if (Other.Hash == Folder.Hash && Other.Path() == Folder.Path())
                break;
            Slot = (Slot + 1) & Mask;
        }
        if (slots_[Slot] == NoFolder)
            slots_[Slot] = Index;
    }
}

std::uint32_t TRememberedFolders::FolderAt(std::string_view Path) const {
    if (slots_.empty())
        return NoFolder;
    const std::uint64_t Hash = TRememberedRows::HashOf(Path);
    const std::size_t Mask = slots_.size() - 1;
    for (std::size_t Slot = Hash & Mask; slots_[Slot] != NoFolder; Slot = (Slot + 1) & Mask) {
        const TFolder& Folder = folders_[slots_[Slot]];
        if (Folder.Hash == Hash && Folder.Path() == Path)
            return slots_[Slot];
    }
    return NoFolder;
}

const TPackedFile* TRememberedFolders::Find(std::string_view Path) const {
    const std::size_t Split = Path.rfind('/') + 1; // 0 for a path without one
    const std::string_view Folder = Path.substr(0, Split), Name = Path.substr(Split);
    TLookedIn& In = LookedIn;
    if (In.Table != serial_ || folders_[In.Folder].Path() != Folder) {
        const std::uint32_t Found = FolderAt(Folder);
        if (Found == NoFolder)
            return nullptr;
        In.Table = serial_;
        In.Folder = Found;
        In.Next = 0;
        // The files of a large flat folder are not kept for the thread's later folders.
        if (In.Files.capacity() > 4096)
            std::vector<TPackedFile>().swap(In.Files);
        // A damaged row gives none of its files: they are read, and their
        // new rows replace it.
        if (!UnpackFolder(folders_[Found].Packed(), In.Files))
            In.Files.clear();
    }
    const std::vector<TPackedFile>& Files = In.Files;
    std::size_t At = In.Next;
    if (At >= Files.size() || Files[At].Name != Name) {
        const auto Named = std::lower_bound(
            Files.begin(), Files.end(), Name,
            [](const TPackedFile& File, std::string_view N) { return File.Name < N; });
        if (Named == Files.end() || Named->Name != Name)
            return nullptr;
        At = static_cast<std::size_t>(Named - Files.begin());
    }
    In.Next = At + 1;
    return Gives(Files[At]) ? &Files[At] : nullptr;
}

std::size_t TRememberedFolders::CountFiles() const {
    std::size_t Count = 0;
    std::vector<TPackedFile> Files;
    for (const std::uint32_t Index : slots_)
        if (Index != NoFolder && UnpackFolder(folders_[Index].Packed(), Files))
            Count += static_cast<std::size_t>(std::count_if(
                Files.begin(), Files.end(), [&](const TPackedFile& File) { return Gives(File); }));
    return Count;
}

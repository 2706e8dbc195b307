#include "index/RememberedRows.h"

#include "media/ReaderVersion.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

std::uint64_t TPathSlots::HashOf(std::string_view Path) {
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

bool TTakenStamps::Add(std::string_view Path, const TFileStamp& Stamp) {
    if (count_ + 1 >= TPathSlots::None / 2 || Path.size() > TPathSlots::None)
        return false;
    if (count_ % StampsPerBlock == 0)
        stampBlocks_.emplace_back(new TTaken[StampsPerBlock]);
    char* Bytes = bytes_.Reserve(Path.size());
    if (!Path.empty())
        std::memcpy(Bytes, Path.data(), Path.size());
    TTaken& Taken = At(static_cast<std::uint32_t>(count_++));
    Taken.Stamp = Stamp;
    Taken.Hash = TPathSlots::HashOf(Path);
    Taken.Path = Bytes;
    Taken.PathSize = static_cast<std::uint32_t>(Path.size());
    return true;
}

void TTakenStamps::Seal() {
    // A path met twice (a folder listed twice) keeps its first stamp.
    slots_.Build(static_cast<std::uint32_t>(count_), [this](std::uint32_t Index) {
        const TTaken& Taken = At(Index);
        return std::pair(Taken.Hash, Taken.PathView());
    });
}

void TTakenStamps::Clear() {
    stampBlocks_.clear();
    bytes_.Clear();
    count_ = 0;
    slots_.Clear();
}

const TFileStamp* TTakenStamps::Find(std::string_view Path) const {
    const std::uint32_t Found = slots_.Find(Path, [this](std::uint32_t Index) {
        const TTaken& Taken = At(Index);
        return std::pair(Taken.Hash, Taken.PathView());
    });
    return Found == TPathSlots::None ? nullptr : &At(Found).Stamp;
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
    Added.Hash = TPathSlots::HashOf(Added.Path());
    TPackedFile First;
    if (UnpackFirstFile(Added.Packed(), First) && Gives(First))
        ++likelyFound_;
    return true;
}

void TRememberedFolders::Seal() {
    slots_.Build(static_cast<std::uint32_t>(folders_.size()), [this](std::uint32_t Index) {
        return std::pair(folders_[Index].Hash, folders_[Index].Path());
    });
}

std::uint32_t TRememberedFolders::FolderAt(std::string_view Path) const {
    return slots_.Find(Path, [this](std::uint32_t Index) {
        return std::pair(folders_[Index].Hash, folders_[Index].Path());
    });
}

const TPackedFile* TRememberedFolders::Find(std::string_view Path) const {
    const std::size_t Split = FolderEnd(Path);
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
        const TPackedFile* Named = FileNamed(Files, Name);
        if (!Named)
            return nullptr;
        At = static_cast<std::size_t>(Named - Files.data());
    }
    In.Next = At + 1;
    return Gives(Files[At]) ? &Files[At] : nullptr;
}

std::size_t TRememberedFolders::CountFiles() const {
    std::size_t Count = 0;
    std::vector<TPackedFile> Files;
    slots_.ForEach([&](std::uint32_t Index) {
        if (UnpackFolder(folders_[Index].Packed(), Files))
            Count += static_cast<std::size_t>(std::count_if(
                Files.begin(), Files.end(), [&](const TPackedFile& File) { return Gives(File); }));
    });
    return Count;
}

#include "index/RememberedRows.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

std::uint64_t TRememberedRows::HashOf(std::string_view Path) {
    return std::hash<std::string_view>()(Path);
}

char* TRememberedRows::Reserve(std::size_t Size) {
    if (blockSize_ - blockUsed_ < Size) {
        // A row larger than a block has a block of its own.
        blockSize_ = std::max(Size, BytesPerBlock);
        byteBlocks_.emplace_back(new char[blockSize_]);
        blockUsed_ = 0;
    }
    char* At = byteBlocks_.back().get() + blockUsed_;
    blockUsed_ += Size;
    return At;
}

bool TRememberedRows::Add(std::string_view Folder, std::string_view Name, const TFileStamp& Stamp,
                          int Sources, bool Found, std::string_view Fields, std::int64_t SeenDay,
                          std::int64_t LengthMs) {
    const std::size_t PathSize = Folder.size() + Name.size();
    if (count_ + 1 >= NoRow / 2 || PathSize > NoRow || Fields.size() > NoRow)
        return false;
    if (count_ % RowsPerBlock == 0)
        rowBlocks_.emplace_back(new TRow[RowsPerBlock]);
    char* Bytes = Reserve(PathSize + Fields.size());
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
    byteBlocks_.clear();
    count_ = 0;
    blockUsed_ = blockSize_ = BytesPerBlock;
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

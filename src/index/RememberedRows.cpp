#include "index/RememberedRows.h"

#include <bit>
#include <functional>
#include <limits>

namespace {

std::uint64_t HashOf(std::string_view Path) {
    return std::hash<std::string_view>()(Path);
}

} // namespace

bool TRememberedRows::Add(std::string_view Path, const TFileStamp& Stamp, int Sources, bool Found,
                          std::string_view Fields, std::int64_t SeenDay, std::int64_t LengthMs) {
    if (bytes_.size() + Path.size() + Fields.size() > std::numeric_limits<std::uint32_t>::max() ||
        rows_.size() + 1 >= NoRow / 2)
        return false;
    TRow Row;
    Row.Stamp = Stamp;
    Row.Hash = HashOf(Path);
    Row.PathAt = static_cast<std::uint32_t>(bytes_.size());
    Row.PathSize = static_cast<std::uint32_t>(Path.size());
    bytes_.append(Path);
    Row.FieldsAt = static_cast<std::uint32_t>(bytes_.size());
    Row.FieldsSize = static_cast<std::uint32_t>(Fields.size());
    bytes_.append(Fields);
    Row.SeenDay = SeenDay;
    Row.LengthMs = LengthMs;
    Row.Sources = Sources;
    Row.Found = Found;
    rows_.push_back(Row);
    return true;
}

void TRememberedRows::Seal() {
    slots_.assign(std::bit_ceil(std::max<std::size_t>(rows_.size() * 2, 16)), NoRow);
    const std::size_t Mask = slots_.size() - 1;
    for (std::uint32_t Index = 0; Index < rows_.size(); ++Index) {
        std::size_t Slot = rows_[Index].Hash & Mask;
        while (slots_[Slot] != NoRow) {
            // A path met twice (a folder listed twice) keeps its first row.
            if (rows_[slots_[Slot]].Hash == rows_[Index].Hash &&
                Path(rows_[slots_[Slot]]) == Path(rows_[Index]))
                break;
            Slot = (Slot + 1) & Mask;
        }
        if (slots_[Slot] == NoRow)
            slots_[Slot] = Index;
    }
}

void TRememberedRows::Clear() {
    bytes_.clear();
    rows_.clear();
    slots_.clear();
}

const TRememberedRows::TRow* TRememberedRows::Find(std::string_view Path) const {
    if (slots_.empty())
        return nullptr;
    const std::uint64_t Hash = HashOf(Path);
    const std::size_t Mask = slots_.size() - 1;
    for (std::size_t Slot = Hash & Mask; slots_[Slot] != NoRow; Slot = (Slot + 1) & Mask) {
        const TRow& Row = rows_[slots_[Slot]];
        if (Row.Hash == Hash && this->Path(Row) == Path)
            return &Row;
    }
    return nullptr;
}

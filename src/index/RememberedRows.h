// The remembered tag reads below a compile's folders, as one compile uses
// them: packed into a few large blocks with an open-addressing table over the
// paths, so that loading a hundred thousand rows costs no allocation per row
// (and no copying as they grow) and a look-up is one hash and one compare.
// Only rows that a compile with the run's code page, option and reader
// version may trust are loaded.
#pragma once

#include "index/IndexRow.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TRememberedRows {
public:
    struct TRow {
        TFileStamp Stamp;
        std::uint64_t Hash = 0;
        const char* Bytes = nullptr; // the path, then the fields
        std::uint32_t PathSize = 0, FieldsSize = 0;
        std::int64_t SeenDay = 0;
        std::int64_t LengthMs = -2; // the length read with the same stamp; -2 none
        std::int32_t Sources = 0;   // the TTagSources of the read
        bool Found = false;
    };

    // Rows are added first, then Seal makes them findable.
    // False (and nothing added) once the rows would pass 2^31.
    bool Add(std::string_view Path, const TFileStamp& Stamp, int Sources, bool Found,
             std::string_view Fields, std::int64_t SeenDay, std::int64_t LengthMs = -2) {
        return Add({}, Path, Stamp, Sources, Found, Fields, SeenDay, LengthMs);
    }
    // The same with the path in two pieces, Folder (with its '/') then Name.
    bool Add(std::string_view Folder, std::string_view Name, const TFileStamp& Stamp, int Sources,
             bool Found, std::string_view Fields, std::int64_t SeenDay, std::int64_t LengthMs);
    void Seal();
    void Clear();

    // The row of Path, or null; Hash is HashOf(Path), for a caller that
    // looks in more than one table.
    const TRow* Find(std::string_view Path) const { return Find(Path, HashOf(Path)); }
    const TRow* Find(std::string_view Path, std::uint64_t Hash) const;
    static std::uint64_t HashOf(std::string_view Path);
    static std::string_view Path(const TRow& Row) { return {Row.Bytes, Row.PathSize}; }
    static std::string_view Fields(const TRow& Row) {
        return {Row.Bytes + Row.PathSize, Row.FieldsSize};
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

private:
    static constexpr std::uint32_t NoRow = 0xFFFFFFFF;
    // Rows and bytes live in blocks that never move once made.
    static constexpr std::size_t RowsPerBlock = 4096;
    static constexpr std::size_t BytesPerBlock = std::size_t{1} << 20;

    TRow& RowAt(std::uint32_t Index) {
        return rowBlocks_[Index / RowsPerBlock][Index % RowsPerBlock];
    }
    const TRow& RowAt(std::uint32_t Index) const {
        return rowBlocks_[Index / RowsPerBlock][Index % RowsPerBlock];
    }
    char* Reserve(std::size_t Size);

    std::vector<std::unique_ptr<TRow[]>> rowBlocks_;
    std::vector<std::unique_ptr<char[]>> byteBlocks_;
    std::size_t count_ = 0;
    std::size_t blockUsed_ = BytesPerBlock; // bytes taken of the last byte block
    std::size_t blockSize_ = BytesPerBlock; // the last byte block's size
    std::vector<std::uint32_t> slots_;      // a power of two of row numbers, NoRow for none
};

// The remembered tag reads below a compile's folders, as one compile uses
// them: packed into a few arrays with an open-addressing table over the
// paths, so that loading a hundred thousand rows costs no allocation per row
// and a look-up is one hash and one compare. Only rows that a compile with
// the run's code page, option and reader version may trust are loaded.
#pragma once

#include "index/IndexRow.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TRememberedRows {
public:
    struct TRow {
        TFileStamp Stamp;
        std::uint64_t Hash = 0;
        std::uint32_t PathAt = 0, PathSize = 0;
        std::uint32_t FieldsAt = 0, FieldsSize = 0;
        std::int64_t SeenDay = 0;
        std::int64_t LengthMs = -2; // the length read with the same stamp; -2 none
        std::int32_t Sources = 0;   // the TTagSources of the read
        bool Found = false;
    };

    // Rows are added first, then Seal makes them findable.
    // False (and nothing added) once the packed bytes would pass 4 GiB.
    bool Add(std::string_view Path, const TFileStamp& Stamp, int Sources, bool Found,
             std::string_view Fields, std::int64_t SeenDay, std::int64_t LengthMs = -2);
    void Seal();
    void Clear();

    // The row of Path, or null.
    const TRow* Find(std::string_view Path) const;
    std::string_view Path(const TRow& Row) const {
        return {bytes_.data() + Row.PathAt, Row.PathSize};
    }
    std::string_view Fields(const TRow& Row) const {
        return {bytes_.data() + Row.FieldsAt, Row.FieldsSize};
    }

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }

private:
    static constexpr std::uint32_t NoRow = 0xFFFFFFFF;
    std::string bytes_;
    std::vector<TRow> rows_;
    std::vector<std::uint32_t> slots_; // a power of two of row numbers, NoRow for none
};

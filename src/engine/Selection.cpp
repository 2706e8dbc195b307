// Ordering, capping and limiting the files a search found.
#include "engine/Selection.h"

#include "engine/CaseFold.h"
#include "lists/Collation.h"
#include "media/AudioTags.h"
#include "media/text/Utf8.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <unordered_map>

namespace {

// splitmix64: small, fast, and the same numbers on every platform, so a seed
// gives the same playlist wherever the search runs.
struct TSplitMix {
    std::uint64_t State;
    std::uint64_t Next() {
        std::uint64_t Z = (State += 0x9E3779B97F4A7C15ULL);
        Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBULL;
        return Z ^ (Z >> 31);
    }
    // Below Bound (> 0), without bias: draws that fall in the last partial
    // run of Bound are drawn again.
    std::uint64_t Below(std::uint64_t Bound) {
        const std::uint64_t Limit = std::numeric_limits<std::uint64_t>::max() -
                                    std::numeric_limits<std::uint64_t>::max() % Bound;
        std::uint64_t Value;
        do
            Value = Next();
        while (Value >= Limit);
        return Value % Bound;
    }
};

// The text in simple case folding, bytes that are not UTF-8 kept.
std::string Folded(const std::string& Text) {
    std::string Out;
    Out.reserve(Text.size());
    for (std::size_t At = 0; At < Text.size();) {
        std::size_t Length = 0;
        const char32_t C = DecodeUtf8At(Text, At, Length);
        if (Length == 0) {
            Out += Text[At++];
            continue;
        }
        const char32_t F = FoldCase(C);
        if (F < 0x80) {
            Out += static_cast<char>(F);
        } else if (F < 0x800) {
            Out += static_cast<char>(0xC0 | (F >> 6));
            Out += static_cast<char>(0x80 | (F & 0x3F));
        } else if (F < 0x10000) {
            Out += static_cast<char>(0xE0 | (F >> 12));
            Out += static_cast<char>(0x80 | ((F >> 6) & 0x3F));
            Out += static_cast<char>(0x80 | (F & 0x3F));
        } else {
            Out += static_cast<char>(0xF0 | (F >> 18));
            Out += static_cast<char>(0x80 | ((F >> 12) & 0x3F));
            Out += static_cast<char>(0x80 | ((F >> 6) & 0x3F));
            Out += static_cast<char>(0x80 | (F & 0x3F));
        }
        At += Length;
    }
    return Out;
}

// What the selection learns of the files, each fact read once and only when asked.
class TKnownFacts {
public:
    TKnownFacts(const std::vector<TFileInfo>& Files, const TSelectionFacts& Facts)
        : files_(Files), facts_(Facts), durations_(Files.size(), Unread),
          modified_(Files.size(), Unread), sizes_(Files.size(), Unread) {}

    std::int64_t Duration(std::size_t I) {
        if (durations_[I] == Unread)
            durations_[I] = facts_.DurationMs ? facts_.DurationMs(files_[I].FileName)
                                              : ReadDurationMs(files_[I].FileName);
        return durations_[I];
    }
    std::int64_t Modified(std::size_t I) {
        Stat(I);
        return modified_[I];
    }
    std::int64_t Size(std::size_t I) {
        Stat(I);
        return sizes_[I];
    }

private:
    static constexpr std::int64_t Unread = std::numeric_limits<std::int64_t>::min();

    void Stat(std::size_t I) {
        if (sizes_[I] != Unread)
            return;
        std::int64_t Modified = 0, Size = 0;
        bool Known = false;
        if (facts_.Status) {
            Known = facts_.Status(files_[I].FileName, Modified, Size);
        } else {
            struct stat Info;
            Known = stat(files_[I].FileName.c_str(), &Info) == 0;
            if (Known) {
                Modified = std::int64_t{Info.st_mtim.tv_sec} * 1000000000 + Info.st_mtim.tv_nsec;
                Size = Info.st_size;
            }
        }
        // A file that cannot be looked at counts as the oldest and as empty.
        modified_[I] = Known ? Modified : Unread + 1;
        sizes_[I] = Known ? Size : 0;
    }

    const std::vector<TFileInfo>& files_;
    const TSelectionFacts& facts_;
    std::vector<std::int64_t> durations_, modified_, sizes_;
};

// The playlist's order over all files: stable, so files the keys do not tell
// apart keep the walk's order.
std::vector<std::size_t> Ordered(const TOrderSpec& Order, std::uint64_t Seed,
                                 const std::vector<TFileInfo>& Files, TKnownFacts& Facts,
                                 const std::string& Locale) {
    if (Order.Shuffle)
        return SeededShuffle(Files.size(), Seed);
    std::vector<std::size_t> Indices(Files.size());
    std::iota(Indices.begin(), Indices.end(), std::size_t{0});
    if (Order.Keys.empty())
        return Indices;

    // One column of numbers per key; texts become the rank of their
    // collation key among the distinct texts (each collated once).
    struct TColumn {
        bool Descending = false;
        std::vector<std::int64_t> Numbers;
    };
    std::optional<TCollation> Collation;
    std::vector<TColumn> Columns;
    for (const TOrderKey& Key : Order.Keys) {
        TColumn Column;
        Column.Descending = Key.Descending;
        Column.Numbers.resize(Files.size());
        const auto TextOf = [&](std::size_t I) -> const std::string& {
            const TMediaInfo& Info = Files[I].MediaInfo;
            switch (Key.Field) {
            case TOrderField::Artist:
                return Info.Artist;
            case TOrderField::Album:
                return Info.Album;
            case TOrderField::Genre:
                return Info.Genre;
            case TOrderField::Year:
                return Info.Year;
            case TOrderField::Path:
                return Files[I].FileName;
            default:
                return Info.Title;
            }
        };
        switch (Key.Field) {
        case TOrderField::Title:
        case TOrderField::Artist:
        case TOrderField::Album:
        case TOrderField::Genre:
        case TOrderField::Year:
        case TOrderField::Path: {
            if (!Collation)
                Collation.emplace(Locale);
            std::unordered_map<std::string_view, std::size_t> Ids;
            std::vector<std::string> Keys;
            for (std::size_t I = 0; I < Files.size(); ++I) {
                const std::string& Text = TextOf(I);
                auto [It, Fresh] = Ids.try_emplace(Text, Keys.size());
                if (Fresh) {
                    Keys.emplace_back();
                    if (Key.Field == TOrderField::Path)
                        Collation->AppendPathKey(Text, Keys.back());
                    else
                        Collation->AppendKey(Text, Keys.back());
                }
                Column.Numbers[I] = static_cast<std::int64_t>(It->second);
            }
            std::vector<std::size_t> ById(Keys.size());
            std::iota(ById.begin(), ById.end(), std::size_t{0});
            std::sort(ById.begin(), ById.end(),
                      [&](std::size_t A, std::size_t B) { return Keys[A] < Keys[B]; });
            // Equal keys share a rank, so that the next key decides between them.
            std::vector<std::int64_t> Rank(Keys.size());
            std::int64_t Next = 0;
            for (std::size_t R = 0; R < ById.size(); ++R) {
                if (R > 0 && Keys[ById[R]] != Keys[ById[R - 1]])
                    ++Next;
                Rank[ById[R]] = Next;
            }
            for (std::int64_t& Number : Column.Numbers)
                Number = Rank[static_cast<std::size_t>(Number)];
            break;
        }
        case TOrderField::Track:
            for (std::size_t I = 0; I < Files.size(); ++I)
                Column.Numbers[I] = ParseTrackText(Files[I].MediaInfo.Track).TrackNumber;
            break;
        case TOrderField::Length:
            for (std::size_t I = 0; I < Files.size(); ++I)
                Column.Numbers[I] = Facts.Duration(I);
            break;
        case TOrderField::Modified:
            for (std::size_t I = 0; I < Files.size(); ++I)
                Column.Numbers[I] = Facts.Modified(I);
            break;
        case TOrderField::Size:
            for (std::size_t I = 0; I < Files.size(); ++I)
                Column.Numbers[I] = Facts.Size(I);
            break;
        }
        Columns.push_back(std::move(Column));
    }
    std::stable_sort(Indices.begin(), Indices.end(), [&](std::size_t A, std::size_t B) {
        for (const TColumn& Column : Columns) {
            const std::int64_t X = Column.Numbers[A], Y = Column.Numbers[B];
            const int Sign = X < Y ? -1 : X > Y ? 1 : 0;
            if (Sign != 0)
                return Column.Descending ? Sign > 0 : Sign < 0;
        }
        return false;
    });
    return Indices;
}

} // namespace

std::vector<std::size_t> SeededShuffle(std::size_t Count, std::uint64_t Seed) {
    std::vector<std::size_t> Indices(Count);
    std::iota(Indices.begin(), Indices.end(), std::size_t{0});
    TSplitMix Random{Seed};
    for (std::size_t I = Count; I > 1; --I)
        std::swap(Indices[I - 1], Indices[Random.Below(I)]);
    return Indices;
}

TSelectionOutcome SelectFiles(const TSelection& Selection, const std::vector<TFileInfo>& Files,
                              const TSelectionFacts& Facts) {
    TSelectionOutcome Outcome;
    TKnownFacts Known(Files, Facts);
    const std::vector<std::size_t> Order =
        Ordered(Selection.Order, Selection.Seed, Files, Known, Facts.CollationLocale);

    // The order in which files get their place under the caps and the limit.
    std::vector<std::size_t> Picking;
    switch (Selection.Pick) {
    case TPick::First:
        Picking = Order;
        break;
    case TPick::Random:
        // Its own stream of the seed, so that a shuffled playlist does not
        // simply pick its first files.
        Picking = SeededShuffle(Files.size(), Selection.Seed ^ 0x5DEECE66DULL);
        break;
    case TPick::Newest:
    case TPick::Oldest: {
        Picking = Order;
        std::vector<std::int64_t> Times(Files.size());
        for (std::size_t I = 0; I < Files.size(); ++I)
            Times[I] = Known.Modified(I);
        const bool Newest = Selection.Pick == TPick::Newest;
        std::stable_sort(Picking.begin(), Picking.end(), [&](std::size_t A, std::size_t B) {
            return Newest ? Times[A] > Times[B] : Times[A] < Times[B];
        });
        break;
    }
    }

    std::vector<bool> Kept(Files.size(), false);
    std::vector<TSelectionLeftOut> LeftOut;
    std::unordered_map<std::string, std::uint32_t> ByArtist, ByAlbum;
    const TLimit& Limit = Selection.Limit;
    // The limit in the unit it is counted in: files, milliseconds or bytes.
    const std::uint64_t Room = Limit.Unit == TLimitUnit::Minutes     ? Limit.Amount * 60000
                               : Limit.Unit == TLimitUnit::Megabytes ? Limit.Amount * 1000000
                                                                     : Limit.Amount;
    std::uint64_t Used = 0;
    bool Full = false;
    for (const std::size_t I : Picking) {
        if (Full) {
            LeftOut.push_back({I, TReasonKind::OverLimit, 0});
            continue;
        }
        const TMediaInfo& Info = Files[I].MediaInfo;
        // A cap counts only the files kept before; one over it takes no room.
        const auto Capped = [&](std::uint32_t Cap, const std::string& Text,
                                std::unordered_map<std::string, std::uint32_t>& Counts,
                                TReasonKind Kind) {
            if (Cap == 0 || Text.empty())
                return false;
            std::uint32_t& Count = Counts[Folded(Text)];
            if (Count < Cap)
                return false;
            LeftOut.push_back({I, Kind, Count + 1});
            return true;
        };
        if (Capped(Selection.PerArtist, Info.Artist, ByArtist, TReasonKind::OverArtistCap) ||
            Capped(Selection.PerAlbum, Info.Album, ByAlbum, TReasonKind::OverAlbumCap))
            continue;
        if (Limit.Unit != TLimitUnit::None) {
            std::uint64_t Takes = 1;
            if (Limit.Unit == TLimitUnit::Minutes) {
                const std::int64_t Ms = Known.Duration(I);
                if (Ms < 0) {
                    LeftOut.push_back({I, TReasonKind::LengthNotKnown, 0});
                    continue;
                }
                Takes = static_cast<std::uint64_t>(Ms);
            } else if (Limit.Unit == TLimitUnit::Megabytes) {
                Takes = static_cast<std::uint64_t>(std::max<std::int64_t>(Known.Size(I), 0));
            }
            if (Takes > Room - Used) {
                Full = true;
                LeftOut.push_back({I, TReasonKind::OverLimit, 0});
                continue;
            }
            Used += Takes;
        }
        // The caps count the file only now that it is kept.
        if (Selection.PerArtist > 0 && !Info.Artist.empty())
            ++ByArtist[Folded(Info.Artist)];
        if (Selection.PerAlbum > 0 && !Info.Album.empty())
            ++ByAlbum[Folded(Info.Album)];
        Kept[I] = true;
    }
    for (const std::size_t I : Order)
        if (Kept[I])
            Outcome.Kept.push_back(I);
    std::sort(
        LeftOut.begin(), LeftOut.end(),
        [](const TSelectionLeftOut& A, const TSelectionLeftOut& B) { return A.Index < B.Index; });
    Outcome.LeftOut = std::move(LeftOut);
    return Outcome;
}

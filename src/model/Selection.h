// What a search does with the files its criteria took: the order of the
// playlist, a limit by count, length or size with the files that fill it, and
// caps per artist and per album. Kept as the texts the user wrote (so a
// settings file keeps its bytes) and read here into typed values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The fields a playlist can be ordered by.
enum class TOrderField : std::uint8_t {
    Title,
    Artist,
    Album,
    Genre,
    Year,
    Track,
    Path,
    Length,
    Modified,
    Size
};

struct TOrderKey {
    TOrderField Field = TOrderField::Title;
    bool Descending = false;

    bool operator==(const TOrderKey&) const = default;
};

// Empty Keys and no Shuffle: the walk's order.
struct TOrderSpec {
    bool Shuffle = false;
    std::vector<TOrderKey> Keys;

    bool operator==(const TOrderSpec&) const = default;
};

enum class TLimitUnit : std::uint8_t { None, Files, Minutes, Megabytes };

struct TLimit {
    TLimitUnit Unit = TLimitUnit::None;
    std::uint64_t Amount = 0;

    bool operator==(const TLimit&) const = default;
};

// Which files fill a limit: the first in the playlist's order, a random
// choice, or the newest or oldest by modification time.
enum class TPick : std::uint8_t { First, Random, Newest, Oldest };

struct TSelection {
    TOrderSpec Order;
    std::uint64_t Seed = 0;
    TLimit Limit;
    TPick Pick = TPick::First;
    std::uint32_t PerArtist = 0; // 0: no cap
    std::uint32_t PerAlbum = 0;

    // Whether the selection changes anything: otherwise the found files go
    // into the playlist as the walk found them, one by one.
    bool Active() const {
        return Order.Shuffle || !Order.Keys.empty() || Limit.Unit != TLimitUnit::None ||
               PerArtist > 0 || PerAlbum > 0;
    }
    bool operator==(const TSelection&) const = default;
};

// Each reader takes the text as the settings hold it (blanks around words and
// letter case do not matter) and is false, leaving Out alone, for a text it
// does not understand. An empty text is the default.
// "Artist, Album desc, Track" or "Shuffle".
bool ParseOrder(std::string_view Text, TOrderSpec& Out);
// "50 files", "90 minutes", "700 MB".
bool ParseLimit(std::string_view Text, TLimit& Out);
// "first", "random", "newest", "oldest".
bool ParsePick(std::string_view Text, TPick& Out);
// A count of at most 1,000,000 (caps); empty is 0.
bool ParseCap(std::string_view Text, std::uint32_t& Out);
// A decimal number below 2^64.
bool ParseSeed(std::string_view Text, std::uint64_t& Out);

// Validators for the settings loader.
bool IsOrderText(std::string_view Text);
bool IsLimitText(std::string_view Text);
bool IsPickText(std::string_view Text);
bool IsCapText(std::string_view Text);
bool IsSeedText(std::string_view Text);

// The names an order may use, in the spelling the texts give them.
const char* OrderFieldName(TOrderField Field);
// The texts written back: "Artist, Album desc", "Shuffle", "90 minutes".
std::string OrderText(const TOrderSpec& Order);
std::string LimitText(const TLimit& Limit);
const char* PickText(TPick Pick);
// The limit as reasons name it: "50-file", "90-minute", "700 MB".
std::string LimitAdjective(const TLimit& Limit);

// The selection the texts describe. Each text that is not understood is left
// out (as if empty) and, when Problems is given, named there in a line.
struct TSelectionTexts {
    std::string Order;
    std::string Seed;
    std::string Limit;
    std::string Pick;
    std::string PerArtist;
    std::string PerAlbum;

    bool operator==(const TSelectionTexts&) const = default;
};
TSelection ReadSelection(const TSelectionTexts& Texts,
                         std::vector<std::string>* Problems = nullptr);

// A seed of its own for a new shuffle, different at each call.
std::uint64_t NewShuffleSeed();

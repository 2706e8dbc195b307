// Reading and writing the texts of a search's order, limit, pick and caps.
#include "model/Selection.h"

#include <array>
#include <charconv>
#include <chrono>
#include <random>

namespace {

char LowerAscii(char C) {
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameWord(std::string_view A, std::string_view Lower) {
    if (A.size() != Lower.size())
        return false;
    for (std::size_t I = 0; I < A.size(); ++I)
        if (LowerAscii(A[I]) != Lower[I])
            return false;
    return true;
}

std::string_view Trimmed(std::string_view Text) {
    while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t'))
        Text.remove_prefix(1);
    while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t'))
        Text.remove_suffix(1);
    return Text;
}

// Digits only, no sign, no blanks.
bool ParseNumber(std::string_view Text, std::uint64_t& Out) {
    if (Text.empty())
        return false;
    std::uint64_t Value = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    if (Error != std::errc() || End != Text.data() + Text.size())
        return false;
    Out = Value;
    return true;
}

struct TFieldName {
    TOrderField Field;
    const char* Name;
    const char* Lower;
};
constexpr std::array<TFieldName, 10> FieldNames = {{
    {TOrderField::Title, "Title", "title"},
    {TOrderField::Artist, "Artist", "artist"},
    {TOrderField::Album, "Album", "album"},
    {TOrderField::Genre, "Genre", "genre"},
    {TOrderField::Year, "Year", "year"},
    {TOrderField::Track, "Track", "track"},
    {TOrderField::Path, "Path", "path"},
    {TOrderField::Length, "Length", "length"},
    {TOrderField::Modified, "Modified", "modified"},
    {TOrderField::Size, "Size", "size"},
}};

// The most a cap or a file count sensibly holds; more is a typing slip.
constexpr std::uint64_t LargestCount = 1000000;
// And for minutes and megabytes: beyond this the limit limits nothing.
constexpr std::uint64_t LargestAmount = 100000000;

} // namespace

bool ParseOrder(std::string_view Text, TOrderSpec& Out) {
    Text = Trimmed(Text);
    TOrderSpec Order;
    if (Text.empty()) {
        Out = Order;
        return true;
    }
    if (SameWord(Text, "shuffle")) {
        Order.Shuffle = true;
        Out = Order;
        return true;
    }
    while (true) {
        const std::size_t Comma = Text.find(',');
        std::string_view Part = Trimmed(Text.substr(0, Comma));
        TOrderKey Key;
        const std::size_t Blank = Part.find_last_of(" \t");
        if (Blank != std::string_view::npos) {
            const std::string_view Direction = Part.substr(Blank + 1);
            if (SameWord(Direction, "desc"))
                Key.Descending = true;
            else if (!SameWord(Direction, "asc"))
                return false;
            Part = Trimmed(Part.substr(0, Blank));
        }
        bool Known = false;
        for (const TFieldName& Name : FieldNames)
            if (SameWord(Part, Name.Lower)) {
                Key.Field = Name.Field;
                Known = true;
            }
        if (!Known)
            return false;
        for (const TOrderKey& Earlier : Order.Keys)
            if (Earlier.Field == Key.Field)
                return false; // a field named twice is a slip, not an order
        Order.Keys.push_back(Key);
        if (Comma == std::string_view::npos)
            break;
        Text = Text.substr(Comma + 1);
    }
    Out = std::move(Order);
    return true;
}

bool ParseLimit(std::string_view Text, TLimit& Out) {
    Text = Trimmed(Text);
    if (Text.empty()) {
        Out = TLimit{};
        return true;
    }
    std::size_t Digits = 0;
    while (Digits < Text.size() && Text[Digits] >= '0' && Text[Digits] <= '9')
        ++Digits;
    std::uint64_t Amount = 0;
    if (!ParseNumber(Text.substr(0, Digits), Amount) || Amount == 0)
        return false;
    const std::string_view Unit = Trimmed(Text.substr(Digits));
    TLimit Limit;
    Limit.Amount = Amount;
    if (SameWord(Unit, "files") || SameWord(Unit, "file"))
        Limit.Unit = TLimitUnit::Files;
    else if (SameWord(Unit, "minutes") || SameWord(Unit, "minute") || SameWord(Unit, "min"))
        Limit.Unit = TLimitUnit::Minutes;
    else if (SameWord(Unit, "mb"))
        Limit.Unit = TLimitUnit::Megabytes;
    else
        return false;
    if (Amount > (Limit.Unit == TLimitUnit::Files ? LargestCount : LargestAmount))
        return false;
    Out = Limit;
    return true;
}

bool ParsePick(std::string_view Text, TPick& Out) {
    Text = Trimmed(Text);
    if (Text.empty() || SameWord(Text, "first"))
        Out = TPick::First;
    else if (SameWord(Text, "random"))
        Out = TPick::Random;
    else if (SameWord(Text, "newest"))
        Out = TPick::Newest;
    else if (SameWord(Text, "oldest"))
        Out = TPick::Oldest;
    else
        return false;
    return true;
}

bool ParseCap(std::string_view Text, std::uint32_t& Out) {
    Text = Trimmed(Text);
    std::uint64_t Value = 0;
    if (!Text.empty() && (!ParseNumber(Text, Value) || Value > LargestCount))
        return false;
    Out = static_cast<std::uint32_t>(Value);
    return true;
}

bool ParseSeed(std::string_view Text, std::uint64_t& Out) {
    Text = Trimmed(Text);
    std::uint64_t Value = 0;
    if (!Text.empty() && !ParseNumber(Text, Value))
        return false;
    Out = Value;
    return true;
}

bool IsOrderText(std::string_view Text) {
    TOrderSpec Order;
    return ParseOrder(Text, Order);
}
bool IsLimitText(std::string_view Text) {
    TLimit Limit;
    return ParseLimit(Text, Limit);
}
bool IsPickText(std::string_view Text) {
    TPick Pick;
    return ParsePick(Text, Pick);
}
bool IsCapText(std::string_view Text) {
    std::uint32_t Cap;
    return ParseCap(Text, Cap);
}
bool IsSeedText(std::string_view Text) {
    std::uint64_t Seed;
    return ParseSeed(Text, Seed);
}

const char* OrderFieldName(TOrderField Field) {
    for (const TFieldName& Name : FieldNames)
        if (Name.Field == Field)
            return Name.Name;
    return "?";
}

std::string OrderText(const TOrderSpec& Order) {
    if (Order.Shuffle)
        return "Shuffle";
    std::string Text;
    for (const TOrderKey& Key : Order.Keys) {
        if (!Text.empty())
            Text += ", ";
        Text += OrderFieldName(Key.Field);
        if (Key.Descending)
            Text += " desc";
    }
    return Text;
}

std::string LimitText(const TLimit& Limit) {
    const std::string Amount = std::to_string(Limit.Amount);
    switch (Limit.Unit) {
    case TLimitUnit::None:
        break;
    case TLimitUnit::Files:
        return Amount + (Limit.Amount == 1 ? " file" : " files");
    case TLimitUnit::Minutes:
        return Amount + (Limit.Amount == 1 ? " minute" : " minutes");
    case TLimitUnit::Megabytes:
        return Amount + " MB";
    }
    return {};
}

const char* PickText(TPick Pick) {
    switch (Pick) {
    case TPick::First:
        break;
    case TPick::Random:
        return "random";
    case TPick::Newest:
        return "newest";
    case TPick::Oldest:
        return "oldest";
    }
    return "first";
}

std::string LimitAdjective(const TLimit& Limit) {
    const std::string Amount = std::to_string(Limit.Amount);
    switch (Limit.Unit) {
    case TLimitUnit::None:
        break;
    case TLimitUnit::Files:
        return Amount + "-file";
    case TLimitUnit::Minutes:
        return Amount + "-minute";
    case TLimitUnit::Megabytes:
        return Amount + " MB";
    }
    return {};
}

TSelection ReadSelection(const TSelectionTexts& Texts, std::vector<std::string>* Problems) {
    TSelection Selection;
    const auto Refused = [Problems](const char* Name, const std::string& Text, const char* Form) {
        if (Problems)
            Problems->push_back(std::string("[Selection] ") + Name + " \"" + Text +
                                "\" is not understood (" + Form + "); it is left out");
    };
    if (!ParseOrder(Texts.Order, Selection.Order))
        Refused("Order", Texts.Order, "field names such as Artist, Album, Track, or Shuffle");
    if (!ParseSeed(Texts.Seed, Selection.Seed))
        Refused("Seed", Texts.Seed, "a whole number");
    if (!ParseLimit(Texts.Limit, Selection.Limit))
        Refused("Limit", Texts.Limit, "N files, N minutes or N MB");
    if (!ParsePick(Texts.Pick, Selection.Pick))
        Refused("Pick", Texts.Pick, "first, random, newest or oldest");
    if (!ParseCap(Texts.PerArtist, Selection.PerArtist))
        Refused("Per Artist", Texts.PerArtist, "a whole number");
    if (!ParseCap(Texts.PerAlbum, Selection.PerAlbum))
        Refused("Per Album", Texts.PerAlbum, "a whole number");
    return Selection;
}

std::uint64_t NewShuffleSeed() {
    static std::random_device Device;
    const auto Now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // Kept below 2^53 so that a seed survives any tool that reads it as a double.
    return ((static_cast<std::uint64_t>(Device()) << 21) ^ Now) & ((std::uint64_t{1} << 53) - 1);
}

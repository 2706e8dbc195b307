// The code-page names the settings accept (see CodePages.h).
#include "model/CodePages.h"

const std::array<TTagCodePage, 14> TagCodePages = {{
    {"Windows-1252", "Western (Windows-1252)"},
    {"Windows-1250", "Central European (Windows-1250)"},
    {"Windows-1251", "Cyrillic (Windows-1251)"},
    {"KOI8-R", "Cyrillic (KOI8-R)"},
    {"Windows-1253", "Greek (Windows-1253)"},
    {"Windows-1254", "Turkish (Windows-1254)"},
    {"Windows-1255", "Hebrew (Windows-1255)"},
    {"Windows-1256", "Arabic (Windows-1256)"},
    {"Windows-1257", "Baltic (Windows-1257)"},
    {"Windows-1258", "Vietnamese (Windows-1258)"},
    {"Shift_JIS", "Japanese (Shift_JIS)"},
    {"GBK", "Simplified Chinese (GBK)"},
    {"Big5", "Traditional Chinese (Big5)"},
    {"EUC-KR", "Korean (EUC-KR)"},
}};

const char* const DefaultTagCodePage = "Windows-1252";

namespace {

// Other names of each page, as character-set registries and converters spell
// them; letter case never counts.
struct TCodePageAliases {
    std::string_view Name;
    std::array<std::string_view, 5> Aliases;
};

constexpr TCodePageAliases Aliases[] = {
    {"Windows-1252", {"CP1252", "Win1252", "MS-ANSI", "x-cp1252"}},
    {"Windows-1250", {"CP1250", "Win1250", "MS-EE", "x-cp1250"}},
    {"Windows-1251", {"CP1251", "Win1251", "MS-CYRL", "x-cp1251"}},
    {"KOI8-R", {"KOI8R", "csKOI8R", "KOI8"}},
    {"Windows-1253", {"CP1253", "Win1253", "MS-GREEK", "x-cp1253"}},
    {"Windows-1254", {"CP1254", "Win1254", "MS-TURK", "x-cp1254"}},
    {"Windows-1255", {"CP1255", "Win1255", "MS-HEBR", "x-cp1255"}},
    {"Windows-1256", {"CP1256", "Win1256", "MS-ARAB", "x-cp1256"}},
    {"Windows-1257", {"CP1257", "Win1257", "WINBALTRIM", "x-cp1257"}},
    {"Windows-1258", {"CP1258", "Win1258", "x-cp1258"}},
    {"Shift_JIS", {"SJIS", "Shift-JIS", "MS_Kanji", "csShiftJIS", "x-sjis"}},
    {"GBK", {"CP936", "MS936", "Windows-936"}},
    {"Big5", {"Big-5", "BigFive", "Big-Five", "csBig5", "CN-Big5"}},
    {"EUC-KR", {"EUCKR", "csEUCKR"}},
};

bool SameName(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i) {
        const auto lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
        if (lower(A[i]) != lower(B[i]))
            return false;
    }
    return true;
}

} // namespace

std::string_view TagCodePageName(std::string_view Name) {
    if (Name.empty())
        return {};
    for (const TCodePageAliases& Page : Aliases) {
        if (SameName(Page.Name, Name))
            return Page.Name;
        for (std::string_view Alias : Page.Aliases)
            if (!Alias.empty() && SameName(Alias, Name))
                return Page.Name;
    }
    return {};
}

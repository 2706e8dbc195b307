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

bool IsTagCodePage(std::string_view Name) {
    for (const TTagCodePage& Page : TagCodePages)
        if (Page.Name == Name)
            return true;
    return false;
}

// Tag code page names as people and other programs write them: any letter
// case, and the usual aliases of each page.
#include "model/CodePages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Upper(std::string_view Text) {
    std::string out(Text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string Lower(std::string_view Text) {
    std::string out(Text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

} // namespace

TEST(CodePages, EveryPageIsNamedByItsNameInAnyLetterCase) {
    for (const TTagCodePage& page : TagCodePages) {
        for (const std::string& spelling :
             {std::string(page.Name), Upper(page.Name), Lower(page.Name)})
            EXPECT_EQ(TagCodePageName(spelling), page.Name) << spelling;
    }
    EXPECT_EQ(TagCodePageName(DefaultTagCodePage), DefaultTagCodePage);
}

TEST(CodePages, UsualAliasesNameTheirPage) {
    const struct {
        const char* Name;
        const char* Page;
    } rows[] = {
        {"cp1250", "Windows-1250"},
        {"CP1250", "Windows-1250"},
        {"WINDOWS-1250", "Windows-1250"},
        {"windows-1250", "Windows-1250"},
        {"Cp1252", "Windows-1252"},
        {"ms-ansi", "Windows-1252"},
        {"x-cp1251", "Windows-1251"},
        {"CP1253", "Windows-1253"},
        {"cp1254", "Windows-1254"},
        {"CP1255", "Windows-1255"},
        {"cp1256", "Windows-1256"},
        {"CP1257", "Windows-1257"},
        {"cp1258", "Windows-1258"},
        {"koi8r", "KOI8-R"},
        {"CSKOI8R", "KOI8-R"},
        {"sjis", "Shift_JIS"},
        {"SHIFT-JIS", "Shift_JIS"},
        {"ms_kanji", "Shift_JIS"},
        {"cp936", "GBK"},
        {"WINDOWS-936", "GBK"},
        {"BIG-5", "Big5"},
        {"csbig5", "Big5"},
        {"euckr", "EUC-KR"},
        {"CSEUCKR", "EUC-KR"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TagCodePageName(row.Name), row.Page) << row.Name;
}

TEST(CodePages, OtherNamesNameNoPage) {
    for (const char* name : {"", "UTF-8", "utf8", "Windows-125", "Windows-12500", "cp125",
                             "cp12520", " cp1250", "cp1250 ", "Windows_1250", "ISO-8859-1",
                             "latin1", "Shift JIS", "Windows-1252\n", "KOI8-U", "GB2312", "CP949"})
        EXPECT_EQ(TagCodePageName(name), "") << name;
}

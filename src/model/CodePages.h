// The code pages that tag text without a declared encoding can be read in:
// their names as the settings store them and their labels on the Options page.
#pragma once

#include <array>
#include <string_view>

struct TTagCodePage {
    std::string_view Name;  // as stored in the settings and given to the decoder
    std::string_view Label; // as the Options page lists it
};

// The code pages the Options page offers, the default first.
extern const std::array<TTagCodePage, 14> TagCodePages;
// "Windows-1252".
extern const char* const DefaultTagCodePage;
// The stored name of the page that Name names in any letter case, by its
// name or one of its usual aliases ("cp1250", "WINDOWS-1250" and "CP1250"
// all name "Windows-1250"); empty when no page is named so.
std::string_view TagCodePageName(std::string_view Name);

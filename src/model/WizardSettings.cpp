#include "model/WizardSettings.h"

#include <algorithm>
#include <cctype>
#include <string_view>

const std::array<const char*, CriterionFieldCount> CriterionFieldNames = {
    "Title",        "Artist",   "Album",  "Genre",  "Year",
    "Album Artist", "Composer", "Format", "Length", "Modified"};
const std::array<const char*, CriterionFieldCount> CriterionListNames = {
    "Titles",        "Artists",   "Albums",  "Genres",  "Years",
    "Album Artists", "Composers", "Formats", "Lengths", "Modified"};

std::vector<std::string> DefaultFieldOrder() {
    return {CriterionFieldNames.begin(), CriterionFieldNames.end()};
}

std::vector<std::string> CompleteFieldOrder(std::vector<std::string> Order) {
    // A name in another letter case holds the field's place (and leaves it
    // out of the evaluation, as it always did).
    auto Same = [](std::string_view A, std::string_view B) {
        return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
            return std::tolower(static_cast<unsigned char>(X)) ==
                   std::tolower(static_cast<unsigned char>(Y));
        });
    };
    const std::size_t Given = Order.size();
    for (const char* Name : CriterionFieldNames)
        if (std::none_of(Order.begin(), Order.begin() + static_cast<std::ptrdiff_t>(Given),
                         [&](const std::string& Listed) { return Same(Listed, Name); }))
            Order.emplace_back(Name);
    return Order;
}

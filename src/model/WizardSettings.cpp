#include "model/WizardSettings.h"

const std::array<const char*, CriterionFieldCount> CriterionFieldNames = {"Title", "Artist",
                                                                          "Album", "Genre", "Year"};
const std::array<const char*, CriterionFieldCount> CriterionListNames = {
    "Titles", "Artists", "Albums", "Genres", "Years"};

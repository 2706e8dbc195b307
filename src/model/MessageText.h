// Bytes from outside (file names, lines of a settings file) quoted inside a
// one-line message: short, and with every byte visible.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// At most MaxCharacters characters of Text, then "..." when there was more.
// Valid UTF-8 stays as it is; control characters (C0, DEL, C1, the line and
// paragraph separators, the direction marks and overrides) and bytes that
// are not part of valid UTF-8 are written as \xNN, so a quote never breaks a
// line or acts on a terminal, and a message stays the size of its words
// whatever it quotes.
std::string QuoteForMessage(std::string_view Text, std::size_t MaxCharacters = 80);

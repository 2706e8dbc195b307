// Quotes of outside bytes inside one-line messages.
#include "model/MessageText.h"

#include <gtest/gtest.h>

TEST(MessageText, QuotesAreShortOneLineAndShowEveryByte) {
    const struct {
        std::string Text;
        std::size_t Max;
        std::string Quoted;
    } Rows[] = {
        {"plain text", 80, "plain text"},
        {"line\nbreak\r\ttab", 80, "line\\x0Abreak\\x0D\\x09tab"},
        {std::string("nul\0del\x7f", 8), 80, "nul\\x00del\\x7F"},
        {"caf\xc3\xa9 \xe2\x82\xac", 80, "caf\xc3\xa9 \xe2\x82\xac"}, // UTF-8 stays
        {"latin1 caf\xe9", 80, "latin1 caf\\xE9"},                    // not UTF-8
        {"\xc0\x80 overlong", 80, "\\xC0\\x80 overlong"},
        {"\xed\xa0\x80 surrogate", 80, "\\xED\\xA0\\x80 surrogate"},
        {"\xc2\x85 C1 control", 80, "\\xC2\\x85 C1 control"},
        // Characters that break a line or turn the direction of what follows.
        {"rlo\xe2\x80\xae gpj.mp3", 80, "rlo\\xE2\\x80\\xAE gpj.mp3"},
        {"ls\xe2\x80\xa8ps\xe2\x80\xa9", 80, "ls\\xE2\\x80\\xA8ps\\xE2\\x80\\xA9"},
        {"lri\xe2\x81\xa6pdi\xe2\x81\xa9", 80, "lri\\xE2\\x81\\xA6pdi\\xE2\\x81\\xA9"},
        {"lrm\xe2\x80\x8e alm\xd8\x9c", 80, "lrm\\xE2\\x80\\x8E alm\\xD8\\x9C"},
        {"zwj\xe2\x80\x8d ellipsis\xe2\x80\xa6", 80, "zwj\xe2\x80\x8d ellipsis\xe2\x80\xa6"},
        {"\xe2\x82 cut", 80, "\\xE2\\x82 cut"},
        {"abcdef", 3, "abc..."},
        {"abc", 3, "abc"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 2, "\xc3\xa9\xc3\xa9..."}, // characters, not bytes
        {"\n\n\n\n", 2, "\\x0A\\x0A..."},
        {"", 80, ""},
    };
    for (const auto& Row : Rows)
        EXPECT_EQ(QuoteForMessage(Row.Text, Row.Max), Row.Quoted) << Row.Text;
    // A huge line gives a quote of its first 80 characters.
    const std::string Huge = std::string(10'000'000, 'x');
    EXPECT_EQ(QuoteForMessage(Huge), std::string(80, 'x') + "...");
}

// The INI text form: escapes that survive a round trip, hand-edited files,
// lines that cannot be parsed.
#include "settings/IniFormat.h"

#include <gtest/gtest.h>

namespace {

std::vector<IniSection> Parse(const std::string& Text, bool* Clean = nullptr,
                              std::string* BadLine = nullptr) {
    std::vector<IniSection> sections;
    std::string bad;
    const bool clean = ParseIni(Text, sections, bad);
    if (Clean)
        *Clean = clean;
    if (BadLine)
        *BadLine = bad;
    return sections;
}

} // namespace

TEST(IniFormat, AwkwardNamesAndValuesSurviveRoundTrip) {
    const std::vector<std::string> texts = {"plain",
                                            " leading",
                                            "trailing ",
                                            "  both  ",
                                            "a=b=c",
                                            "; not a comment",
                                            "# nor this",
                                            "[nor this]",
                                            "back\\slash\\",
                                            "\\n literally",
                                            "line\nfeed",
                                            "cr\rhere",
                                            "tab\there",
                                            std::string("nul\0byte", 8),
                                            "caf\xe9 \xff\xfe",
                                            "",
                                            "=",
                                            "]",
                                            " ",
                                            "\\",
                                            "\"quoted\"",
                                            "\"",
                                            "\"\"",
                                            "\"open",
                                            "ends\\\""};
    IniSection section(" odd]section\\ [x] ");
    for (size_t i = 0; i < texts.size(); ++i) {
        section.Set("value " + std::to_string(i), texts[i]);
        section.Set(texts[i] + " name", "name " + std::to_string(i));
    }
    bool clean = false;
    const std::vector<IniSection> read = Parse(FormatIni({section}), &clean);
    ASSERT_TRUE(clean);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].Name(), section.Name());
    EXPECT_EQ(read[0].Values(), section.Values());
}

TEST(IniFormat, ReadsHandEditedFiles) {
    const std::string text = "\xEF\xBB\xBF; a comment\r\n"
                             "\r\n"
                             "[Folders]\r\n"
                             "  Item Count = 2  \r\n"
                             "# another comment\n"
                             "Item 1=first\n"
                             "[Options]\n"
                             "Rule=1\n"
                             "[folders]\n" // the same section again, another spelling
                             "item 1=second\n"
                             "Item 2=third";
    bool clean = false;
    const std::vector<IniSection> read = Parse(text, &clean);
    EXPECT_TRUE(clean);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].Name(), "Folders");
    ASSERT_NE(read[0].Find("ITEM COUNT"), nullptr);
    EXPECT_EQ(*read[0].Find("ITEM COUNT"), "2");
    EXPECT_EQ(*read[0].Find("Item 1"), "second");
    EXPECT_EQ(*read[0].Find("Item 2"), "third");
    EXPECT_EQ(read[0].Values().size(), 3u);
    EXPECT_EQ(*read[1].Find("Rule"), "1");
}

TEST(IniFormat, UnparseableLinesAreReportedWhileTheRestIsRead) {
    bool clean = true;
    std::string bad;
    std::vector<IniSection> read =
        Parse("orphan=1\n[Folders]\nItem Count=1\n  garbage line \nItem 1=/a\n", &clean, &bad);
    EXPECT_FALSE(clean);
    EXPECT_EQ(bad, "orphan=1");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(*read[0].Find("Item 1"), "/a");

    // Values under a header that never closes are not put into the section before it.
    read = Parse("[Folders]\nItem Count=1\n[Filenames\nItem Count=5\n", &clean, &bad);
    EXPECT_FALSE(clean);
    EXPECT_EQ(bad, "[Filenames");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(*read[0].Find("Item Count"), "1");

    Parse("[Folders\\]\n", &clean, &bad);
    EXPECT_FALSE(clean);
    Parse("[Folders]\ngarbage\n", &clean, &bad);
    EXPECT_EQ(bad, "garbage");
}

TEST(IniFormat, ReadsValuesInDoubleQuotesAsOtherWritersPutThem) {
    const std::vector<IniSection> read = Parse("[Filenames]\n"
                                               "Item 1=\"*.mp3\"\n"
                                               "Item 2 = \"  spaced  \" \n"
                                               "Item 3=\"say \\\"hi\\\" \\\\ \\t\"\n"
                                               "Item 4=\"\"\n"
                                               "Item 5=\"open\n"
                                               "Item 6=\"ends in \\\"\n"
                                               "Item 7=plain \"inner\" quotes\n");
    ASSERT_EQ(read.size(), 1u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Item 1", "*.mp3"},
        {"Item 2", "  spaced  "},
        {"Item 3", "say \"hi\" \\ \t"},
        {"Item 4", ""},
        {"Item 5", "\"open"},
        {"Item 6", "\"ends in \""},
        {"Item 7", "plain \"inner\" quotes"}};
    EXPECT_EQ(read[0].Values(), expected);
}

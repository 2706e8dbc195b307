// Which paths a search takes and which readers read them.
#include "engine/FilePolicy.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

TEST(FilePolicy, ExtensionsServedAndSourcesForFilesAddedByHand) {
    for (const char* path :
         {"a.flac", "b.OGG", "c.oga", "d.opus", "e.m4a", "f.M4B", "g.mp4", "h.aac", "i.wma",
          "j.asf", "k.wav", "l.aif", "m.aiff", "n.ape", "o.wv", "p.mpc", "/x.y/q.Flac"})
        EXPECT_TRUE(HasOtherFormatExtension(path)) << path;
    for (const char* path :
         {"a.mp3", "flac", "a.flac/b", "a.flac.txt", "a.fla", "a.", "", "a.aiffx", ".wav/x"})
        EXPECT_FALSE(HasOtherFormatExtension(path)) << path;
    EXPECT_EQ(HandAddedTagSources("a.flac", true), TTagSources::OtherFormatThenID3);
    EXPECT_EQ(HandAddedTagSources("a.mp3", true), TTagSources::ID3ThenAPE);
    EXPECT_EQ(HandAddedTagSources("a.txt", true), TTagSources::ID3ThenAPE);
    EXPECT_EQ(HandAddedTagSources("a.flac", false), TTagSources::ID3);
}

TEST(FilePolicy, Mp3ExtensionInAnyLetterCaseAndOnlyAtTheEnd) {
    for (const char* path : {"a.mp3", "/m/b.MP3", "c.Mp3", "/x.flac/d.mP3", ".mp3"})
        EXPECT_TRUE(IsMp3Extension(path)) << path;
    for (const char* path : {"a.mp3.bak", "/m.mp3/b", "mp3", "a.mp", "a.mp33", "a.mp4", ""})
        EXPECT_FALSE(IsMp3Extension(path)) << path;
}

TEST(FilePolicy, CompileSourcesAndNameVerdictByOptions) {
    struct Case {
        const char* Path;
        bool Thorough, OtherFormats, Tagless;
        TTagSources Sources;
        TNameVerdict Verdict;
    };
    using enum TTagSources;
    using enum TNameVerdict;
    const Case cases[] = {
        {"/m/a.mp3", false, true, false, ID3ThenAPE, ReadTags},
        {"/m/a.MP3", false, false, false, ID3, ReadTags},
        {"/m/a.flac", false, true, false, OtherFormat, ReadTags},
        {"/m/a.flac", true, true, false, OtherFormatThenID3, ReadTags},
        // Other formats off: a .flac is any other file.
        {"/m/a.flac", false, false, true, ID3, Accepted},
        {"/m/a.flac", false, false, false, ID3, Rejected},
        {"/m/a.flac", true, false, false, ID3, ReadTags},
        {"/m/a.txt", false, true, true, ID3, Accepted},
        {"/m/a.txt", false, true, false, ID3, Rejected},
        {"/m/a.txt", true, true, false, ID3, ReadTags},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Path);
        CompileJob job;
        job.FilenameMasks = {"*"};
        job.ThoroughID3Check = c.Thorough;
        job.ReadOtherFormats = c.OtherFormats;
        job.IncludeTaglessFiles = c.Tagless;
        EXPECT_EQ(TagSourcesOf(job, c.Path), c.Sources);
        TDecisionReason why;
        EXPECT_EQ(JudgeName(
                      job, c.Path, [](std::size_t) { return true; }, &why),
                  c.Verdict);
        EXPECT_EQ(why.FilenameMask, 0u);
        EXPECT_EQ(JudgeName(
                      job, c.Path, [](std::size_t) { return false; }, &why),
                  Rejected);
        EXPECT_EQ(why.Kind, TReasonKind::NoFilenameMask);
    }
}

TEST(FilePolicy, UntaggedFilesAreTakenExactlyWhenTheTaglessOptionIsOn) {
    TTagDecoder& decoder = DefaultTagDecoder();
    struct Case {
        const char* Path;
        bool Tagless;
        TReasonKind Kind;
    };
    const Case cases[] = {
        {"/m/a.mp3", false, TReasonKind::Mp3WithoutTag},
        {"/m/a.mp3", true, TReasonKind::TaglessIncluded},
        {"/m/a.MP3", true, TReasonKind::TaglessIncluded},
        {"/m/a.flac", false, TReasonKind::TaglessDropped},
        {"/m/a.flac", true, TReasonKind::TaglessIncluded},
        {"/m/a.txt", false, TReasonKind::TaglessDropped},
        {"/m/a.txt", true, TReasonKind::TaglessIncluded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Path) + (c.Tagless ? " tagless on" : " tagless off"));
        CompileJob job;
        job.IncludeTaglessFiles = c.Tagless;
        TDecisionReason why;
        EXPECT_EQ(JudgeTags(job, c.Path, false, {}, decoder, &why), c.Tagless);
        EXPECT_EQ(why.Kind, c.Kind);
        EXPECT_EQ(why.Tags, TTagRead::NotFound);
        EXPECT_EQ(ReasonIncludes(why), c.Tagless);
    }
}

// A first run's masks: one for each extension a reader serves, no two alike,
// and none that the readers would not read for tags.
TEST(FilePolicy, ReadableFormatMasksCoverEveryServedExtensionOnce) {
    const std::vector<std::string> masks = ReadableFormatMasks();
    EXPECT_EQ(masks.size(), 17u);
    EXPECT_EQ(masks.front(), "*.mp3");
    std::set<std::string> seen;
    for (const std::string& mask : masks) {
        SCOPED_TRACE(mask);
        EXPECT_TRUE(mask.starts_with("*.") && mask.find_first_of("*?", 1) == std::string::npos);
        EXPECT_TRUE(seen.insert(mask).second);
        EXPECT_NE(IsMp3Extension(mask), HasOtherFormatExtension(mask));
        CompileJob job;
        job.FilenameMasks = {mask};
        EXPECT_EQ(
            JudgeName(
                job, "/music/song" + mask.substr(1), [](std::size_t) { return true; }, nullptr),
            TNameVerdict::ReadTags);
    }
    for (const char* ext : {".flac", ".ogg", ".opus", ".m4a", ".wma", ".wav", ".ape"})
        EXPECT_TRUE(seen.contains(std::string("*") + ext)) << ext;
}

// The dialog's "All media files" offers every file that a compile reads for tags
// by its name, so a file the search would take can always be added by hand.
TEST(FilePolicy, AddFilesDialogOffersEveryExtensionTheReadersServe) {
    std::istringstream media(AddFilesPatterns().Media);
    std::string pattern;
    std::size_t served = 0;
    while (media >> pattern) {
        ASSERT_TRUE(pattern.starts_with("*.")) << pattern;
        served += IsMp3Extension(pattern) || HasOtherFormatExtension(pattern);
    }
    EXPECT_EQ(served, 17u); // .mp3 and the sixteen of the other readers
    std::istringstream audio(AddFilesPatterns().Audio);
    while (audio >> pattern)
        EXPECT_NE(std::string(AddFilesPatterns().Media).find(pattern), std::string::npos)
            << pattern;
}

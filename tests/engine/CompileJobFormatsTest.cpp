// A compile over a tree of every audio format, with the other formats' readers
// on and off, against the thorough-check and tagless options.
#include "engine/CompileJob.h"

#include "support/AudioBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace audiobytes;
using enum CriterionState;

namespace {

TAudioTag Titled(const char* Title) {
    TAudioTag tag;
    tag.Title = Title;
    tag.Artist = "Artist";
    return tag;
}

} // namespace

TEST(CompileJobFormats, OtherFormatsAreReadByTheirOwnReadersWhenAsked) {
    TempDir dir;
    const TAudioTag keep = Titled("Keep");
    TMp4Layout moovLast;
    moovLast.MoovAtEnd = true;
    moovLast.MdatSize = 300000;
    const std::map<std::string, std::string> files = {
        {"a.flac", FlacFile(keep, 5000)},
        {"b.opus", OggFile(TOggCodec::Opus, keep, 3)},
        {"c.M4A", Mp4File(keep, moovLast)},
        {"d.wma", AsfFile(keep)},
        {"e.wav", RiffFile(WavFormat() + InfoList(keep) + Chunk("data", "abcd"))},
        {"f.aiff", AiffFile(Chunk("ID3 ", Id3Tag(keep), true))},
        {"g.ape", ApeFile("MAC ", keep)},
        {"h.mp3", MpegFrames(3) + ApeTag(ApeItems(keep))},
        // An ID3-tagged MP3 behind a FLAC name, an Ogg file without tags, a rejected title.
        {"fake.flac", tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", "Keep")) + MpegFrames(2)},
        {"tagless.ogg", OggFile(TOggCodec::Vorbis, {})},
        {"drop.wv", ApeFile("wvpk", Titled("Drop"))},
        {"other.txt", "Keep"},
    };
    for (const auto& [name, bytes] : files)
        dir.write(name, bytes);

    const std::set<std::string> tagged = {"a.flac", "b.opus", "c.M4A", "d.wma",
                                          "e.wav",  "f.aiff", "g.ape", "h.mp3"};
    auto with = [](std::set<std::string> Names, std::initializer_list<const char*> More) {
        Names.insert(More.begin(), More.end());
        return Names;
    };
    struct Row {
        bool Other, Thorough, Tagless;
        std::set<std::string> Accepted;
    };
    const Row rows[] = {
        {true, false, false, tagged},
        {true, true, false, with(tagged, {"fake.flac"})},
        {true, false, true, with(tagged, {"fake.flac", "tagless.ogg", "other.txt"})},
        {true, true, true, with(tagged, {"fake.flac", "tagless.ogg", "other.txt"})},
        // Off: as before these readers, an MP3 with only an APEv2 tag has no tag.
        {false, false, false, {}},
        {false, true, false, {"fake.flac"}},
        {false,
         false,
         true,
         {"a.flac", "b.opus", "c.M4A", "d.wma", "e.wav", "f.aiff", "g.ape", "h.mp3", "fake.flac",
          "tagless.ogg", "drop.wv", "other.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "other " << row.Other << " thorough " << row.Thorough
                                        << " tagless " << row.Tagless);
        CompileJob job;
        job.Folders = {dir.str()};
        job.FilenameMasks = {"*"};
        job.ReadOtherFormats = row.Other;
        job.ThoroughID3Check = row.Thorough;
        job.IncludeTaglessFiles = row.Tagless;
        job.Criteria.Fields[FieldTitle].Criteria = {{"Keep", Include}, {"Drop", Exclude}};
        job.Criteria.IncludeCount = 1;

        std::set<std::string> accepted;
        SearchHooks hooks;
        hooks.FoundFile = [&](const TFileInfo& File) {
            const std::string name = File.FileName.substr(dir.str().size() + 1);
            accepted.insert(name);
            // Tags come from the file's own format where it was read.
            const bool read =
                (row.Other && tagged.count(name) > 0) || (row.Thorough && name == "fake.flac");
            EXPECT_EQ(File.MediaInfo.Title, read ? "Keep" : "") << name;
            if (row.Other && tagged.count(name)) {
                EXPECT_EQ(File.MediaInfo.Artist, "Artist") << name;
            }
            EXPECT_EQ(File.Size, static_cast<std::int32_t>(files.at(name).size())) << name;
        };
        EXPECT_EQ(RunSearch(job, hooks).Outcome, SearchOutcome::Completed);
        EXPECT_EQ(accepted, row.Accepted);

        // Files checked one by one follow the same rules.
        for (const auto& [name, bytes] : files) {
            TFileInfo info{dir.str() + "/" + name, {}, 0};
            EXPECT_EQ(AcceptFile(job, info, DefaultTagDecoder()), row.Accepted.count(name) > 0)
                << name;
        }
    }
}

TEST(CompileJobFormats, TheOptionTravelsFromTheSettings) {
    WizardSettings settings;
    EXPECT_TRUE(MakeCompileJob(settings).ReadOtherFormats);
    settings.ReadOtherFormats = false;
    EXPECT_FALSE(MakeCompileJob(settings).ReadOtherFormats);
}

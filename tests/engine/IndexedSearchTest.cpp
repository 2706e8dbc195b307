// A search through the tag index gives exactly what a search of the files
// gives, over random libraries and the changes that happen between compiles.
#include "engine/CompileJob.h"
#include "index/TagIndex.h"

#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct TRecord {
    SearchOutcome Outcome;
    std::vector<std::string> Statuses;
    std::vector<std::string> Files; // path, kept or dropped, six fields, size, reason

    bool operator==(const TRecord&) const = default;
};

std::string Describe(const TFileInfo& File, bool Kept) {
    const TMediaInfo& Info = File.MediaInfo;
    return File.FileName + (Kept ? " kept " : " dropped ") + Info.Title + "|" + Info.Artist + "|" +
           Info.Album + "|" + Info.Genre + "|" + Info.Year + "|" + Info.Track + "|" +
           std::to_string(File.Size) + "|" + std::to_string(int(File.Reason.Kind)) + "/" +
           std::to_string(int(File.Reason.Tags));
}

TRecord Search(const CompileJob& Job, const std::shared_ptr<TTagIndex>& Index,
               std::size_t Threads) {
    TRecord Record;
    SearchHooks Hooks;
    Hooks.ShowStatus = [&](const std::string& Text) { Record.Statuses.push_back(Text); };
    Hooks.FoundFile = [&](const TFileInfo& File) { Record.Files.push_back(Describe(File, true)); };
    Hooks.DroppedFile = [&](const TFileInfo& File) {
        Record.Files.push_back(Describe(File, false));
    };
    SearchReaders Readers;
    Readers.Threads = Threads;
    Readers.Index = Index;
    Record.Outcome = RunSearch(Job, Hooks, Readers).Outcome;
    if (Index)
        Index->Flush();
    return Record;
}

// Tag bytes of one of a few kinds, titles in 8-bit text so the code page matters.
std::string RandomFile(std::mt19937& Random, int Serial) {
    const std::string Title =
        "T\xe9" + std::to_string(Serial) + "-" + std::to_string(Random() % 97);
    switch (Random() % 4) {
    case 0:
        return tagbytes::Id3v2Title(Title);
    case 1: {
        tagbytes::V1 Fields;
        Fields.Title = Title;
        Fields.Artist = "A" + std::to_string(Random() % 5);
        return std::string(100 + Random() % 200, '\x55') + tagbytes::V1Block(Fields);
    }
    case 2:
        return std::string(50 + Random() % 300, '\x11'); // no tag
    default:
        return tagbytes::Tag(3, tagbytes::TextFrame(3, "TPE1", "Art" + std::to_string(Serial)) +
                                    tagbytes::TextFrame(3, "TALB", "Alb\xe9")) +
               std::string(64, '\x55');
    }
}

const char* const Extensions[] = {".mp3", ".MP3", ".txt", ".flac", ".wav"};

void MakeLibrary(const TempDir& Dir, std::mt19937& Random, int Files) {
    for (int K = 0; K < Files; ++K) {
        const std::string Folder = "d" + std::to_string(Random() % 4) +
                                   (Random() % 2 ? "/s" + std::to_string(Random() % 3) : "");
        Dir.write(Folder + "/f" + std::to_string(K) + Extensions[Random() % 5],
                  RandomFile(Random, K));
    }
}

std::vector<fs::path> RegularFiles(const TempDir& Dir) {
    std::vector<fs::path> Out;
    for (const auto& Entry : fs::recursive_directory_iterator(Dir.path()))
        if (Entry.is_regular_file())
            Out.push_back(Entry.path());
    std::sort(Out.begin(), Out.end());
    return Out;
}

// Overwrites a file in place with other bytes of the same length, and puts
// its modification time back as some taggers do: only the change time moves.
void RetagKeepingSizeAndTime(const fs::path& File, std::mt19937& Random) {
    struct stat Before;
    ASSERT_EQ(stat(File.c_str(), &Before), 0);
    std::string Bytes(static_cast<std::size_t>(Before.st_size), '\0');
    {
        std::ifstream In(File, std::ios::binary);
        In.read(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    }
    // A new title of the same length where there is one; otherwise any byte.
    const std::size_t At = Bytes.find("T\xe9");
    Bytes[At != std::string::npos ? At + 2 : Random() % Bytes.size()] ^= 0x01;
    {
        std::ofstream Out(File, std::ios::binary | std::ios::in | std::ios::out);
        Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    }
    const timespec Times[2] = {Before.st_atim, Before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, File.c_str(), Times, 0), 0);
}

// The changes between two compiles, one of each kind per round.
void ChangeLibrary(const TempDir& Dir, std::mt19937& Random, int Round, CompileJob& Job) {
    std::vector<fs::path> Files = RegularFiles(Dir);
    ASSERT_GT(Files.size(), 6u);
    const auto Pick = [&] { return Files[Random() % Files.size()]; };
    RetagKeepingSizeAndTime(Pick(), Random);
    // Replaced by another file under the same name.
    const fs::path Replaced = Pick();
    const fs::path Other = Replaced.string() + ".new";
    {
        std::ofstream Out(Other, std::ios::binary);
        Out << RandomFile(Random, 1000 + Round);
    }
    fs::rename(Other, Replaced);
    const fs::path Renamed = Pick();
    if (fs::exists(Renamed))
        fs::rename(Renamed, Renamed.parent_path() / ("r" + std::to_string(Round) + ".mp3"));
    const fs::path Deleted = Pick();
    fs::remove(Deleted);
    // A whole folder moves to another place under the search folder.
    const fs::path Moved = Dir.path() / ("d" + std::to_string(Random() % 4));
    if (fs::exists(Moved))
        fs::rename(Moved, Dir.path() / ("moved" + std::to_string(Round)));
    if (Round % 2 == 1)
        Job.TagCodePage = Job.TagCodePage == "Windows-1252" ? "ISO-8859-2" : "Windows-1252";
}

} // namespace

TEST(IndexedSearch, SameResultsWithAndWithoutTheIndexAcrossChangesBetweenCompiles) {
    for (const unsigned Seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(Seed));
        std::mt19937 Random(Seed);
        TempDir Library, Cache;
        MakeLibrary(Library, Random, 60);
        CompileJob Job;
        Job.Folders = {Library.str()};
        Job.FilenameMasks = {"*.mp3", "*.flac", "*.wav", "*f1*"};
        Job.ThoroughID3Check = Seed % 2 == 0;
        Job.IncludeTaglessFiles = Seed != 2;
        Job.Criteria.Fields[FieldTitle].Criteria.push_back({"*\xe9*", CriterionState::Include});
        Job.Criteria.Fields[FieldArtist].Criteria.push_back({"A1", CriterionState::Exclude});
        Job.Criteria.IncludeCount = 1;

        TTagIndexOptions Options;
        Options.RecentNs = 0; // the files were just made; remember them all the same
        auto Index = std::make_shared<TTagIndex>(Cache.str() + "/index.sqlite", nullptr, Options);
        ASSERT_TRUE(Index->Usable());
        for (int Round = 0; Round < 4; ++Round) {
            SCOPED_TRACE("round " + std::to_string(Round));
            const TRecord Files = Search(Job, nullptr, 0);
            ASSERT_EQ(Files.Outcome, SearchOutcome::Completed);
            ASSERT_GT(Files.Files.size(), 10u);
            const std::uint64_t Before = Index->Remembered();
            // First with the rows as the last round left them, then with them all fresh.
            EXPECT_EQ(Search(Job, Index, Round % 2 ? 0 : 4), Files);
            // Files the changes left alone are not read again, unless the
            // code page changed (after odd rounds): then every file is.
            if (Round == 2) {
                EXPECT_EQ(Index->Remembered(), Before);
            } else if (Round > 0) {
                EXPECT_GT(Index->Remembered(), Before);
            }
            const std::uint64_t Warm = Index->Remembered();
            EXPECT_EQ(Search(Job, Index, 4), Files);
            EXPECT_GT(Index->Remembered(), Warm);
            // File times move in coarse ticks: let one pass before the next changes.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ChangeLibrary(Library, Random, Round, Job);
        }
    }
}

TEST(IndexedSearch, ARetagAtTheSameSizeAndTimeIsSeenThroughTheChangeTime) {
    TempDir Library, Cache;
    const std::string File = Library.write("a.mp3", tagbytes::Id3v2Title("Before"));
    CompileJob Job;
    Job.Folders = {Library.str()};
    Job.FilenameMasks = {"*.mp3"};
    Job.Criteria.Fields[FieldTitle].Criteria.push_back({"*", CriterionState::Include});
    Job.Criteria.IncludeCount = 1;
    TTagIndexOptions Options;
    Options.RecentNs = 0;
    auto Index = std::make_shared<TTagIndex>(Cache.str() + "/index.sqlite", nullptr, Options);
    Search(Job, Index, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::mt19937 Random(1);
    {
        // "Before" becomes "After!" in place: same size, time put back.
        struct stat Old;
        ASSERT_EQ(stat(File.c_str(), &Old), 0);
        std::string Bytes = tagbytes::Id3v2Title("After!");
        std::ofstream Out(File, std::ios::binary | std::ios::in | std::ios::out);
        Out << Bytes;
        Out.close();
        const timespec Times[2] = {Old.st_atim, Old.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, File.c_str(), Times, 0), 0);
    }
    const TRecord After = Search(Job, Index, 0);
    ASSERT_EQ(After.Files.size(), 1u);
    EXPECT_NE(After.Files[0].find("After!"), std::string::npos) << After.Files[0];
}

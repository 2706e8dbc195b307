// The packed fields of a row and the file stamp.
#include "index/IndexRow.h"
#include "index/RememberedRows.h"
#include "media/ReaderVersion.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

TEST(IndexRow, PackedFieldsComeBackExactlyWhateverTheirBytes) {
    std::mt19937 random(5);
    const auto text = [&] {
        std::string out(random() % 4 == 0 ? 0 : random() % 300, '\0');
        for (char& c : out)
            c = static_cast<char>(random());
        return out;
    };
    std::array<int, ContentFormatCount> formats{};
    std::array<int, MediaFieldCount> valuesOf{};
    for (int round = 0; round < 500; ++round) {
        TMediaInfo info{text(), text(), text(), text(), text(), text()};
        info.AlbumArtist = text();
        info.Composer = text();
        info.Format = static_cast<TContentFormat>(random() % ContentFormatCount);
        ++formats[static_cast<std::size_t>(info.Format)];
        for (unsigned k = random() % 4; k > 0; --k) {
            const auto field = static_cast<TMediaField>(random() % MediaFieldCount);
            ++valuesOf[static_cast<std::size_t>(field)];
            info.Values.push_back({field, text()});
        }
        TMediaInfo back{"x", "x", "x", "x", "x", "x"};
        back.AlbumArtist = back.Composer = "x";
        back.Format = TContentFormat::WMA;
        back.Values = {{TMediaField::Genre, "stale"}}; // unpacked into: none of it stays
        ASSERT_TRUE(UnpackMediaInfo(PackMediaInfo(info), back));
        EXPECT_EQ(back, info);
        // A file just read packs its fields straight into its part, after
        // whatever the buffer held: the same bytes as its fields packed first.
        TPackedFile file;
        const std::string name = text(), page = text();
        file.Name = name;
        file.Stamp = {random(), random(), static_cast<std::int64_t>(random()) << 20, -1, 7};
        file.CodePage = page;
        file.Found = round % 3 != 0;
        file.Sources = static_cast<int>(random() % 6) - 1;
        file.LengthMs = -2;
        file.SeenDay = round;
        std::string direct = "held", before = "held";
        PackReadFilePart(direct, file, info);
        const std::string fields = file.Found ? PackMediaInfo(info) : std::string();
        file.Fields = fields;
        PackFilePart(before, file);
        EXPECT_EQ(direct, before);
    }
    // Every format and every field's separate values made the trip.
    for (int count : formats)
        EXPECT_GT(count, 0);
    for (int count : valuesOf)
        EXPECT_GT(count, 0);
}

TEST(IndexRow, TheNewFieldsAndTheFormatComeBackApart) {
    // Each new member alone, so that one packed in another's place shows.
    TMediaInfo albumArtist, composer, format;
    albumArtist.AlbumArtist = "Band";
    composer.Composer = "Writer";
    format.Format = TContentFormat::Musepack;
    TMediaInfo both{"T", "A", "", "", "", ""};
    both.SetValues(TMediaField::AlbumArtist, {"One", "Two"});
    both.SetValues(TMediaField::Composer, {"Three", "Four", "Five"});
    both.Format = TContentFormat::ALAC;
    for (const TMediaInfo& info : {albumArtist, composer, format, both}) {
        TMediaInfo back;
        ASSERT_TRUE(UnpackMediaInfo(PackMediaInfo(info), back));
        EXPECT_EQ(back, info);
        EXPECT_EQ(back.Text(TMediaField::AlbumArtist), info.AlbumArtist);
        EXPECT_EQ(back.Composer, info.Composer);
        EXPECT_EQ(back.Format, info.Format);
    }
    EXPECT_EQ(both.Values.size(), 5u);
}

TEST(IndexRow, DamagedBlobsAreRefusedAndLeaveTheRecordAlone) {
    TMediaInfo song{"Title", "A; B", "", "Genre", "1999", "3/12"};
    song.Values = {{TMediaField::Artist, "A"}, {TMediaField::Artist, "B"}};
    const std::string blob = PackMediaInfo(song);
    const TMediaInfo before{"keep", "", "", "", "", ""};
    // Every cut short, one byte too many, another version, a huge length.
    std::vector<std::string> damaged;
    for (std::size_t size = 0; size < blob.size(); ++size)
        damaged.push_back(blob.substr(0, size));
    damaged.push_back(blob + '\0');
    damaged.push_back('\x01' + blob.substr(1));
    damaged.push_back(std::string("\x03\xff\xff\xff\xff\x0f", 6));
    damaged.push_back(std::string("\x03\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x01", 12));
    // A separate value of a ninth field.
    damaged.push_back(std::string("\x03\0\0\0\0\0\0\0\0\x01\x08\0\0", 13));
    // A format past the last.
    damaged.push_back(std::string("\x03\0\0\0\0\0\0\0\0\0", 10) +
                      static_cast<char>(ContentFormatCount));
    // A blob of the version before the album artist, composer and format: six
    // texts and the values, as it was written; the file is read again instead.
    std::string older(1, '\x02');
    for (const std::string text : {"Title", "A; B", "", "Genre", "1999", "3/12"})
        older += static_cast<char>(text.size()) + text;
    damaged.push_back(older + "\x02\x01\x01"
                              "A"
                              "\x01\x01"
                              "B");
    for (const std::string& bytes : damaged) {
        TMediaInfo info = before;
        EXPECT_FALSE(UnpackMediaInfo(bytes, info)) << bytes.size();
        EXPECT_EQ(info, before);
    }
}

TEST(IndexRow, StampIsOnlyForRegularFilesAndFollowsLinks) {
    TempDir dir;
    const std::string file = dir.write("a.mp3", "12345");
    std::filesystem::create_symlink(file, dir.path() / "link.mp3");
    ASSERT_EQ(mkfifo((dir.path() / "pipe.mp3").c_str(), 0644), 0);
    TFileStamp stamp, linked;
    ASSERT_TRUE(StampAt(AT_FDCWD, file.c_str(), stamp));
    EXPECT_EQ(stamp.Size, 5);
    ASSERT_TRUE(StampAt(AT_FDCWD, (dir.str() + "/link.mp3").c_str(), linked));
    EXPECT_EQ(linked, stamp);
    TFileStamp none;
    EXPECT_FALSE(StampAt(AT_FDCWD, (dir.str() + "/pipe.mp3").c_str(), none));
    EXPECT_FALSE(StampAt(AT_FDCWD, dir.str().c_str(), none));
    EXPECT_FALSE(StampAt(AT_FDCWD, (dir.str() + "/missing").c_str(), none));
}

TEST(IndexRow, RecentChangesAreNotRemembered) {
    const std::int64_t second = 1'000'000'000;
    const std::int64_t now = 1000 * second;
    struct Case {
        std::int64_t Modified, Changed;
        bool TooRecent;
    };
    for (const Case& c :
         {Case{now - 10 * second, now - 10 * second, false},
          Case{now - 10 * second, now - second, true}, Case{now - second, now - 10 * second, true},
          Case{now + second, now - 10 * second, true},
          Case{now - 2 * second, now - 2 * second, false}}) {
        TFileStamp stamp;
        stamp.ModifiedNs = c.Modified;
        stamp.ChangedNs = c.Changed;
        EXPECT_EQ(TooRecentToRemember(stamp, now, 2 * second), c.TooRecent)
            << c.Modified << " " << c.Changed;
    }
}

// The stamps taken ahead: thousands across their blocks, a path larger than
// a block, a path given twice, and paths the table does not hold.
TEST(IndexRow, TakenStampsFindEveryPathTheyHoldAndNoOther) {
    TTakenStamps stamps;
    std::vector<std::string> added;
    for (int K = 0; K < 9000; ++K) {
        std::string path = "/m/" + std::to_string(K % 97) + "/" + std::to_string(K) + ".mp3";
        if (K == 4500)
            path += std::string(std::size_t{3} << 20, 'x');
        TFileStamp stamp;
        stamp.Inode = static_cast<std::uint64_t>(K);
        stamp.Size = K - 2;
        ASSERT_TRUE(stamps.Add(path, stamp));
        added.push_back(std::move(path));
    }
    TFileStamp again;
    again.Inode = 123456;
    ASSERT_TRUE(stamps.Add(added[17], again));
    stamps.Seal();
    ASSERT_EQ(stamps.size(), added.size() + 1);
    for (std::size_t K = 0; K < added.size(); ++K) {
        const TFileStamp* stamp = stamps.Find(added[K]);
        ASSERT_NE(stamp, nullptr) << K;
        EXPECT_EQ(stamp->Inode, K) << "a path given twice keeps its first stamp";
        EXPECT_EQ(stamp->Size, static_cast<std::int64_t>(K) - 2);
    }
    for (const char* absent : {"/m/1/1.mp", "/m/1/1.mp3x", "", "/m/96/9000.mp3", "/m/35/4500.mp3"})
        EXPECT_EQ(stamps.Find(absent), nullptr) << absent;
    stamps.Clear();
    EXPECT_TRUE(stamps.empty());
    EXPECT_EQ(stamps.Find(added[0]), nullptr);
    ASSERT_TRUE(stamps.Add("/a", again));
    stamps.Seal();
    ASSERT_NE(stamps.Find("/a"), nullptr);
    EXPECT_EQ(stamps.Find("/a")->Inode, 123456u);
}

// A folder's row: every value each file's entry holds comes back, whatever
// its bytes and sign; anything cut, added or out of order is refused.
TEST(IndexRow, FolderRowsComeBackExactlyAndRefuseDamage) {
    std::mt19937_64 random(5);
    const auto bytes = [&](std::size_t Most) {
        std::string text(random() % (Most + 1), '\0');
        for (char& c : text)
            c = static_cast<char>(random());
        return text;
    };
    for (int round = 0; round < 40; ++round) {
        std::vector<std::string> names, pages, fields;
        const std::size_t count = round == 0 ? 0 : random() % 60 + 1;
        for (std::size_t k = 0; k < count; ++k)
            names.push_back(bytes(30));
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        std::vector<TPackedFile> files(names.size());
        pages.resize(names.size());
        fields.resize(names.size());
        for (std::size_t k = 0; k < names.size(); ++k) {
            pages[k] = bytes(12);
            fields[k] = bytes(k == 3 ? 70000 : 300);
            TPackedFile& file = files[k];
            file.Name = names[k];
            file.Stamp = {random(), random(), static_cast<std::int64_t>(random()),
                          static_cast<std::int64_t>(random()), -static_cast<std::int64_t>(k)};
            file.ReaderVersion = static_cast<int>(random() % 5) - 1;
            file.CodePage = pages[k];
            file.ReadOtherFormats = random() % 2;
            file.Sources = static_cast<int>(random() % 6) - 1;
            file.Found = random() % 2;
            file.Fields = fields[k];
            file.LengthMs = k % 2 ? -2 : static_cast<std::int64_t>(random());
            file.SeenDay = static_cast<std::int64_t>(random() % 30000) - 10;
        }
        const std::string blob = PackFolder(files);
        std::vector<TPackedFile> back;
        ASSERT_TRUE(UnpackFolder(blob, back));
        ASSERT_EQ(back.size(), files.size());
        for (std::size_t k = 0; k < files.size(); ++k) {
            const TPackedFile &a = files[k], &b = back[k];
            EXPECT_EQ(b.Name, a.Name);
            EXPECT_EQ(b.Stamp, a.Stamp);
            EXPECT_EQ(b.ReaderVersion, a.ReaderVersion);
            EXPECT_EQ(b.CodePage, a.CodePage);
            EXPECT_EQ(b.ReadOtherFormats, a.ReadOtherFormats);
            EXPECT_EQ(b.Sources, a.Sources);
            EXPECT_EQ(b.Found, a.Found);
            EXPECT_EQ(b.Fields, a.Fields);
            EXPECT_EQ(b.LengthMs, a.LengthMs);
            EXPECT_EQ(b.SeenDay, a.SeenDay);
        }
        // The same row made of the files' parts as they are, each part
        // unpacked alone and refused with a byte more or less.
        std::vector<std::string> parts(files.size());
        for (std::size_t k = 0; k < files.size(); ++k) {
            PackFilePart(parts[k], files[k]);
            TPackedFile one;
            ASSERT_TRUE(UnpackFilePart(parts[k], one));
            EXPECT_EQ(one.Name, files[k].Name);
            EXPECT_EQ(one.Fields, files[k].Fields);
            EXPECT_EQ(one.SeenDay, files[k].SeenDay);
            EXPECT_FALSE(UnpackFilePart(parts[k] + '\0', one));
            EXPECT_FALSE(UnpackFilePart(parts[k].substr(0, parts[k].size() - 1), one));
        }
        EXPECT_EQ(PackFolderOfParts(std::vector<std::string_view>(parts.begin(), parts.end())),
                  blob);
        for (std::size_t cut = 0; cut < blob.size(); cut += 1 + blob.size() / 200)
            EXPECT_FALSE(UnpackFolder(blob.substr(0, cut), back)) << cut;
        EXPECT_FALSE(UnpackFolder(blob + '\0', back));
        EXPECT_FALSE(UnpackFolder('\x02' + blob.substr(1), back));
        if (files.size() >= 2) {
            std::swap(files[0], files[1]);
            EXPECT_FALSE(UnpackFolder(PackFolder(files), back)) << "names out of order";
            files[1] = files[0];
            EXPECT_FALSE(UnpackFolder(PackFolder(files), back)) << "a name twice";
        }
    }
    // A count of files beyond what the bytes could hold.
    std::vector<TPackedFile> back;
    EXPECT_FALSE(UnpackFolder(std::string("\x01\xff\xff\xff\xff\x0f", 6), back));
}

// The table a compile answers from: every file of every folder is found,
// asked for in any order by two threads at once (a name's natural order is
// not its byte order), and nothing else: not a file of another code page,
// option, reader or with no tags read, not a file of a damaged row, not a
// name or folder the index does not hold. A folder given twice keeps its
// first row.
TEST(IndexRow, RememberedFoldersFindEachFileTheyMayGiveFromAnyThread) {
    std::mt19937 random(17);
    TRememberedFolders table("Windows-1252", true);
    std::vector<std::pair<std::string, TPackedFile>> expected; // what Find must give
    std::vector<std::string> withheld;                         // held, but not to be given
    std::vector<std::string> names, fields;                    // the bytes files view
    names.reserve(5000);
    fields.reserve(5000);
    std::size_t likely = 0;
    for (int folder = 0; folder < 60; ++folder) {
        const std::string path = "/m/" + std::to_string(folder) + "/";
        const std::size_t count = folder == 7 ? 3000 : random() % 12;
        std::vector<std::string> sorted;
        for (std::size_t k = 0; k < count; ++k)
            sorted.push_back("track " + std::to_string(k) + ".mp3");
        std::sort(sorted.begin(), sorted.end());
        std::vector<TPackedFile> files;
        for (const std::string& name : sorted) {
            names.push_back(name);
            fields.push_back(std::string(random() % 50, static_cast<char>('a' + folder % 26)));
            TPackedFile file;
            file.Name = names.back();
            file.Stamp.Inode = random();
            file.ReaderVersion = TagReaderVersion;
            file.CodePage = "Windows-1252";
            file.ReadOtherFormats = true;
            file.Sources = static_cast<int>(random() % 3);
            file.Found = random() % 2;
            file.Fields = fields.back();
            file.LengthMs = random() % 1000;
            switch (random() % 9) {
            case 0:
                file.CodePage = "KOI8-R";
                break;
            case 1:
                file.ReadOtherFormats = false;
                break;
            case 2:
                file.ReaderVersion = TagReaderVersion - 1;
                break;
            case 3:
                file.Sources = -1;
                break; // only a length read
            default:
                break;
            }
            files.push_back(file);
        }
        std::string packed = PackFolder(files);
        const bool damaged = folder == 11;
        if (damaged)
            packed.pop_back();
        ASSERT_TRUE(table.Add(path, packed));
        for (const TPackedFile& file : files) {
            const bool gives = !damaged && file.CodePage == "Windows-1252" &&
                               file.ReadOtherFormats && file.ReaderVersion == TagReaderVersion &&
                               file.Sources >= 0;
            if (gives)
                expected.emplace_back(path + std::string(file.Name), file);
            else
                withheld.push_back(path + std::string(file.Name));
        }
        TPackedFile first;
        if (UnpackFirstFile(packed, first) && first.CodePage == "Windows-1252" &&
            first.ReadOtherFormats && first.ReaderVersion == TagReaderVersion && first.Sources >= 0)
            ++likely;
    }
    ASSERT_TRUE(table.Add("/m/3/", PackFolder({}))); // the same folder again
    table.Seal();
    EXPECT_EQ(table.CountFiles(), expected.size());
    EXPECT_EQ(table.FoldersLikelyFound(), likely);
    const auto lookEverywhere = [&](unsigned seed, std::vector<std::string>& wrong) {
        std::vector<std::size_t> order(expected.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            order[k] = k;
        if (seed != 0) // one thread in the table's order, the other at random
            std::shuffle(order.begin(), order.end(), std::mt19937(seed));
        for (const std::size_t k : order) {
            const auto& [path, file] = expected[k];
            const TPackedFile* found = table.Find(path);
            if (!found || found->Stamp != file.Stamp || found->Fields != file.Fields ||
                found->Sources != file.Sources || found->Found != file.Found ||
                found->LengthMs != file.LengthMs)
                wrong.push_back(path);
        }
        for (const std::string& path : withheld)
            if (table.Find(path))
                wrong.push_back("withheld " + path);
        for (const char* absent : {"/m/7/track 1.mp", "/m/7/track 1.mp3x", "/m/7/", "/m/99/a.mp3",
                                   "", "track 1.mp3", "/m/7"})
            if (table.Find(absent))
                wrong.push_back(std::string("absent ") + absent);
    };
    std::vector<std::string> wrongHere, wrongThere;
    std::thread other([&] { lookEverywhere(3, wrongThere); });
    lookEverywhere(0, wrongHere);
    other.join();
    EXPECT_TRUE(wrongHere.empty()) << wrongHere.front();
    EXPECT_TRUE(wrongThere.empty()) << wrongThere.front();
}

// ReadMediaInfo against real files: the ID3v1 tag filling the ID3v2 tag's gaps, the record left
// alone when there is no tag, hostile and special files, sizes beyond 2 GiB; and ParseTrackText.
#include "media/MediaUtils.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tagbytes;

namespace {

const TMediaInfo Untouched{"t", "a", "al", "g", "y", "tr"};

V1 FullV1() {
    V1 fields;
    fields.Title = "V1 Title";
    fields.Artist = "V1 Artist";
    fields.Album = "V1 Album";
    fields.Year = "1999";
    fields.Separator = 0;
    fields.Track = 9;
    fields.Genre = 17;
    return fields;
}

} // namespace

TEST(MediaUtils, Id3v1TagFillsWhatTheId3v2TagLeavesEmpty) {
    TempDir dir;
    TMediaInfo info = Untouched;
    const std::string onlyTitle = Tag(3, TextFrame(3, "TIT2", "V2 Title"), 20);
    ASSERT_TRUE(ReadMediaInfo(dir.write("a.mp3", onlyTitle + "audio" + V1Block(FullV1())), info));
    EXPECT_EQ(info, (TMediaInfo{"V2 Title", "V1 Artist", "V1 Album", "Rock", "1999", "9"}));

    // A tag of an unknown version, or declared larger than the file, is found
    // but gives nothing: every field comes from the ID3v1 tag.
    const TMediaInfo fromV1{"V1 Title", "V1 Artist", "V1 Album", "Rock", "1999", "9"};
    std::string version5 = Tag(3, TextFrame(3, "TIT2", "V2 Title"), 20);
    version5[3] = 5;
    info = Untouched;
    ASSERT_TRUE(ReadMediaInfo(dir.write("b.mp3", version5 + V1Block(FullV1())), info));
    EXPECT_EQ(info, fromV1);
    info = Untouched;
    ASSERT_TRUE(ReadMediaInfo(dir.write("c.mp3", Header(4, 100000) + V1Block(FullV1())), info));
    EXPECT_EQ(info, fromV1);

    // Without an ID3v1 tag the fields the ID3v2 tag leaves empty stay empty.
    info = Untouched;
    ASSERT_TRUE(ReadMediaInfo(dir.write("d.mp3", version5 + "audio"), info));
    EXPECT_EQ(info, TMediaInfo{});
}

TEST(MediaUtils, FieldsComeFromTheTagFoundAsStored) {
    TempDir dir;
    const std::string frames = TextFrame(4, "TIT2", "Title") + TextFrame(4, "TPE1", "Artist") +
                               TextFrame(4, "TALB", "Album") + TextFrame(4, "TCON", "(17)Rock") +
                               TextFrame(4, "TDRC", "2001-05-06") + TextFrame(4, "TRCK", "03/12");
    TMediaInfo info;
    ASSERT_TRUE(ReadMediaInfo(dir.write("v2.mp3", Tag(4, frames, 500) + "audio"), info));
    EXPECT_EQ(info, (TMediaInfo{"Title", "Artist", "Album", "Rock", "2001", "03/12"}));

    ASSERT_TRUE(ReadMediaInfo(dir.write("v11.mp3", "audio" + V1Block(FullV1())), info));
    EXPECT_EQ(info, (TMediaInfo{"V1 Title", "V1 Artist", "V1 Album", "Rock", "1999", "9"}));

    V1 v10 = FullV1();
    v10.Separator = v10.Track = -1;
    v10.Comment = std::string(30, 'c');
    v10.Genre = 255;
    ASSERT_TRUE(ReadMediaInfo(dir.write("v10.mp3", V1Block(v10)), info));
    EXPECT_EQ(info, (TMediaInfo{"V1 Title", "V1 Artist", "V1 Album", "", "1999", "0"}));

    V1 v11 = FullV1();
    v11.Track = 200;
    v11.Genre = 147;
    ASSERT_TRUE(ReadMediaInfo(dir.write("v11b.mp3", V1Block(v11)), info));
    EXPECT_EQ(info.Track, "200");
    EXPECT_EQ(info.Genre, "Synthpop");
}

TEST(MediaUtils, NothingFoundLeavesTheRecordAlone) {
    TempDir dir;
    const std::string files[] = {
        dir.write("empty.mp3", ""),
        dir.write("nine.mp3", "ID3\x03\0\0\0\0"),
        dir.write("plain.mp3", std::string(5000, 'x')),
        dir.write("short-v1.mp3", V1Block(FullV1()).substr(0, 127)),
        dir.write("lower.mp3", "id3" + std::string(200, '\0') + "tag" + std::string(125, 'x')),
        dir.str() + "/missing.mp3",
    };
    for (const std::string& file : files) {
        TMediaInfo info = Untouched;
        std::int64_t size = 12345;
        EXPECT_FALSE(ReadMediaInfoAndSize(file, info, size)) << file;
        EXPECT_EQ(info, Untouched) << file;
        EXPECT_EQ(size, file.ends_with("missing.mp3") ? -1 : std::filesystem::file_size(file));
    }
}

TEST(MediaUtils, NoTextOfOneFileSurvivesIntoTheNext) {
    TempDir dir;
    TMediaInfo info;
    ASSERT_TRUE(ReadMediaInfo(
        dir.write("a.mp3", Tag(3, TextFrame(3, "TRCK", "5") + TextFrame(3, "TIT2", "A"))), info));
    ASSERT_EQ(info.Track, "5");
    std::string version5 = Tag(3, TextFrame(3, "TIT2", "B"));
    version5[3] = 5;
    ASSERT_TRUE(ReadMediaInfo(dir.write("b.mp3", version5), info));
    EXPECT_EQ(info.Track, "");
    EXPECT_EQ(info.Title, "");
}

TEST(MediaUtils, SpecialFilesAreNoTagAtOnce) {
    TempDir dir;
    const std::string fifo = dir.str() + "/song.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.path() / "folder.mp3");

    // A FIFO with a writer that never writes would block a plain read too.
    int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    for (const std::string& file : {fifo, dir.str() + "/folder.mp3", std::string("/dev/null")}) {
        TMediaInfo info = Untouched;
        std::int64_t size = 0;
        EXPECT_FALSE(ReadMediaInfoAndSize(file, info, size)) << file;
        EXPECT_EQ(size, -1) << file;
        EXPECT_EQ(info, Untouched) << file;
    }
    close(writer);
}

TEST(MediaUtils, HostileSmallFilesGiveTheExpectedAnswer) {
    TempDir dir;
    const std::string header = Header(3, 40);
    // Every truncation of a header: tags need all ten bytes.
    for (std::size_t length = 0; length <= 10; ++length) {
        TMediaInfo info = Untouched;
        const bool found = ReadMediaInfo(dir.write("h.mp3", header.substr(0, length)), info);
        EXPECT_EQ(found, length == 10) << length;
        EXPECT_EQ(info, length == 10 ? TMediaInfo{} : Untouched) << length;
    }
    // Files of 127 and 128 bytes around an ID3v1 block.
    TMediaInfo info;
    EXPECT_FALSE(ReadMediaInfo(dir.write("127.mp3", V1Block(FullV1()).substr(1)), info));
    EXPECT_TRUE(ReadMediaInfo(dir.write("128.mp3", V1Block(FullV1())), info));
    EXPECT_EQ(info.Title, "V1 Title");
    // An ID3v1 block whose first bytes also read as a tag header: the
    // header wins, with a size beyond the file and so nothing in it.
    std::string both = V1Block(FullV1());
    both.replace(0, 10, Header(3, 0x0FFFFFFF));
    info = Untouched;
    EXPECT_TRUE(ReadMediaInfo(dir.write("both.mp3", both), info));
    EXPECT_EQ(info, TMediaInfo{});
}

TEST(MediaUtils, FilesBeyondFourGibibytesKeepTheirTagsAndSize) {
    TempDir dir;
    const std::int64_t size = (std::int64_t{1} << 32) + 4096; // wraps to 4096 in 32 bits
    const std::string path = dir.str() + "/long.mp3";
    const std::string tag =
        Tag(3, TextFrame(3, "TIT2", "Long") + TextFrame(3, "TPE1", "Mix"), 8000);
    {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        const bool sparse = ftruncate(fd, size) == 0;
        bool written = sparse && pwrite(fd, tag.data(), tag.size(), 0) == ssize_t(tag.size());
        const std::string block = V1Block(FullV1());
        written = written && pwrite(fd, block.data(), block.size(), size - 128) == 128;
        close(fd);
        if (!sparse || !written)
            GTEST_SKIP() << "no sparse files of this size here";
    }
    TMediaInfo info;
    std::int64_t reported = 0;
    ASSERT_TRUE(ReadMediaInfoAndSize(path, info, reported));
    EXPECT_EQ(reported, size);
    EXPECT_EQ(info, (TMediaInfo{"Long", "Mix", "V1 Album", "Rock", "1999", "9"}));

    // The same file without its ID3v2 tag falls back to the block at its end.
    {
        int fd = open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(pwrite(fd, "XXX", 3, 0), 3);
        close(fd);
    }
    ASSERT_TRUE(ReadMediaInfo(path, info));
    EXPECT_EQ(info, (TMediaInfo{"V1 Title", "V1 Artist", "V1 Album", "Rock", "1999", "9"}));
}

TEST(ParseTrackText, ReadsNumberAndCountModulo256) {
    struct Case {
        std::string Text;
        int Number, Count;
    };
    const Case cases[] = {
        {"3/12", 3, 12},
        {"07", 7, 0},
        {"3/x", 3, 0},
        {"x/12", 0, 0},
        {"", 0, 0},
        {"/", 0, 0},
        {"/5", 0, 0},
        {"5/", 5, 0},
        {"300", 44, 0},
        {"-1", 255, 0},
        {"+4/-2", 4, 254},
        {"  7/  9", 7, 9},
        {"$1F", 31, 0},
        {"0x10", 16, 0},
        {"x10", 16, 0},
        {"X1a/$ff", 26, 255},
        {"-$10", 240, 0},
        {"$", 0, 0},
        {"0x", 0, 0},
        {"3 ", 0, 0},
        {"3/12 ", 3, 0},
        {"3 /12", 0, 0},
        {"- 3", 0, 0},
        {"1/2/3", 1, 0},
        {"2147483647", 255, 0},
        {"2147483648", 0, 0},
        {"-2147483647/5", 1, 5},
        {"-2147483649", 0, 0},
        {"$7FFFFFFF", 255, 0},
        {"$80000000", 0, 0},
        {"00000000000000000000000000000000005", 5, 0},
        {"99999999999999999999", 0, 0},
        {"1e3", 0, 0},

        {"3.0", 0, 0},
        {"\t3", 0, 0},
    };
    for (const Case& c : cases) {
        const TrackNumbers numbers = ParseTrackText(c.Text);
        EXPECT_EQ(numbers.TrackNumber, c.Number) << '"' << c.Text << '"';
        EXPECT_EQ(numbers.TrackCount, c.Count) << '"' << c.Text << '"';
    }
}

// Generates a synthetic music library for the benchmarks: artist/album folders
// of .mp3 files with ID3v2.3/2.4 tags (a fifth of them with a 50-200 KB picture
// frame), ID3v1-only and tagless .mp3 files, and other files. Seeded, so the
// same arguments give the same tree. Picture data and audio are holes in
// sparse files: the tree takes little disk space and generates fast, while the
// files have realistic sizes and tag layouts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

struct Options {
    long Files = 100000;
    unsigned Seed = 1;
    bool TaggedOnly = false; // every file an ID3v2-tagged .mp3 (for counting system calls)
    std::string Folder;
};

const char* const Words[] = {
    "Love",  "Night",  "River", "Blue",  "Fire",  "Dream", "Road", "Heart",      "Summer", "Rain",
    "Light", "Shadow", "Gold",  "Ocean", "Stone", "Wild",  "Home", "Time",       "Star",   "Moon",
    "City",  "Silver", "Echo",  "Glass", "Storm", "Dance", "Song", "Caf\xc3\xa9"};
const char* const Genres[] = {"Rock", "Pop", "Jazz", "(17)", "Blues", "Classical", "Electronic"};

class Generator {
public:
    explicit Generator(const Options& Opt) : opt_(Opt), random_(Opt.Seed) {}

    bool Run() {
        if (!MakeFolder(opt_.Folder))
            return false;
        long Made = 0;
        for (int Artist = 0; Made < opt_.Files; ++Artist) {
            const std::string ArtistName = "Artist " + std::to_string(Artist) + " " + Word();
            const std::string ArtistFolder = opt_.Folder + "/" + ArtistName;
            if (!MakeFolder(ArtistFolder))
                return false;
            const int Albums = 4 + Pick(9); // 4..12
            for (int Album = 0; Album < Albums && Made < opt_.Files; ++Album) {
                const std::string AlbumName =
                    Word() + " " + Word() + " (" + std::to_string(1960 + Pick(64)) + ")";
                const std::string AlbumFolder = ArtistFolder + "/" + AlbumName;
                if (!MakeFolder(AlbumFolder))
                    return false;
                const int Entries = 6 + Pick(9); // 6..14
                for (int Track = 1; Track <= Entries && Made < opt_.Files; ++Track, ++Made)
                    if (!MakeEntry(AlbumFolder, ArtistName, AlbumName, Track))
                        return false;
            }
        }
        return true;
    }

private:
    int Pick(int Below) { return static_cast<int>(random_() % static_cast<unsigned>(Below)); }
    std::string Word() { return Words[Pick(sizeof Words / sizeof *Words)]; }

    bool MakeFolder(const std::string& Path) {
        if (mkdir(Path.c_str(), 0755) == 0 || errno == EEXIST)
            return true;
        std::perror(Path.c_str());
        return false;
    }

    bool MakeEntry(const std::string& Folder, const std::string& Artist, const std::string& Album,
                   int Track) {
        const std::string Title = Word() + " " + Word();
        char Number[8];
        std::snprintf(Number, sizeof Number, "%02d", Track);
        const std::string Base = Folder + "/" + Number + " - " + Title;
        const int Kind = opt_.TaggedOnly ? 0 : Pick(100);
        const std::int64_t Audio = 2'000'000 + Pick(4'000'000);
        if (Kind < 80)
            return TaggedMp3(Base + ".mp3", Title, Artist, Album, Track, Audio);
        if (Kind < 85)
            return WriteFile(Base + ".mp3", std::string(512, '\xff'), Audio, V1Tag(Title, Artist));
        if (Kind < 90)
            return WriteFile(Base + ".mp3", std::string(512, '\xff'), Audio, "");
        static const char* const Others[] = {".jpg", ".txt", ".flac", ".m3u", ".log", ".cue"};
        return WriteFile(Base + Others[Pick(6)], std::string(200 + Pick(2000), 'o'), 0, "");
    }

    static void Put32(std::string& Out, std::uint32_t Value, bool SyncSafe) {
        for (int Shift = 24; Shift >= 0; Shift -= 8) {
            const int S = SyncSafe ? Shift / 8 * 7 : Shift;
            Out += static_cast<char>((Value >> S) & (SyncSafe ? 0x7F : 0xFF));
        }
    }

    static std::string TextFrame(int Version, const char* Id, const std::string& Text, bool Utf16) {
        std::string Data;
        if (Utf16) {
            Data = std::string("\x01\xff\xfe", 3);
            for (char C : Text)
                Data += std::string{C, '\0'};
        } else {
            Data = std::string(1, Version == 4 ? '\x03' : '\0') + Text;
        }
        std::string Frame = Id;
        Put32(Frame, static_cast<std::uint32_t>(Data.size()), Version == 4);
        Frame += std::string(2, '\0');
        return Frame + Data;
    }

    static std::string V1Tag(const std::string& Title, const std::string& Artist) {
        std::string Block(128, '\0');
        Block.replace(0, 3, "TAG");
        Block.replace(3, std::min<std::size_t>(Title.size(), 30), Title, 0, 30);
        Block.replace(33, std::min<std::size_t>(Artist.size(), 30), Artist, 0, 30);
        Block.replace(93, 4, "1999");
        Block[126] = 3;
        Block[127] = 17;
        return Block;
    }

    bool TaggedMp3(const std::string& Path, const std::string& Title, const std::string& Artist,
                   const std::string& Album, int Track, std::int64_t Audio) {
        const int Version = Pick(2) ? 3 : 4;
        const bool Utf16 = Version == 3 && Pick(10) == 0;
        std::string Frames;
        Frames += TextFrame(Version, "TIT2", Title, Utf16);
        Frames += TextFrame(Version, "TPE1", Artist, Utf16);
        Frames += TextFrame(Version, "TALB", Album, Utf16);
        Frames += TextFrame(Version, Version == 4 ? "TDRC" : "TYER",
                            std::to_string(1960 + Pick(64)), false);
        Frames += TextFrame(Version, "TRCK", std::to_string(Track) + "/12", false);
        Frames += TextFrame(Version, "TCON", Genres[Pick(7)], false);

        // The picture frame's data is left as a hole; half come before the texts.
        std::string Picture;
        std::uint32_t PictureBytes = 0;
        const bool WithPicture = Pick(5) == 0;
        const bool PictureFirst = Pick(2) == 0;
        if (WithPicture) {
            PictureBytes = 50'000 + static_cast<std::uint32_t>(Pick(150'001));
            const std::string Head = std::string(1, '\0') + "image/jpeg" + '\0' + '\x03' + '\0';
            Picture = "APIC";
            Put32(Picture, static_cast<std::uint32_t>(Head.size()) + PictureBytes, Version == 4);
            Picture += std::string(2, '\0') + Head;
        }
        const std::uint32_t Padding = static_cast<std::uint32_t>(Pick(3) * 1024);
        const std::uint32_t TagSize =
            static_cast<std::uint32_t>(Frames.size() + Picture.size()) + PictureBytes + Padding;
        std::string Header("ID3", 3);
        Header += static_cast<char>(Version);
        Header += '\0';
        Header += '\0';
        Put32(Header, TagSize, true);

        const int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (Fd < 0) {
            std::perror(Path.c_str());
            return false;
        }
        bool Ok = true;
        auto Write = [&](const std::string& Bytes, off_t At) {
            Ok = Ok && pwrite(Fd, Bytes.data(), Bytes.size(), At) == ssize_t(Bytes.size());
        };
        off_t At = 0;
        Write(Header, At);
        At += off_t(Header.size());
        const std::string& FirstPart = PictureFirst ? Picture : Frames;
        const std::string& SecondPart = PictureFirst ? Frames : Picture;
        Write(FirstPart, At);
        At += off_t(FirstPart.size()) + (PictureFirst ? PictureBytes : 0);
        Write(SecondPart, At);
        At += off_t(SecondPart.size()) + (PictureFirst ? 0 : PictureBytes) + Padding;
        Write(std::string(512, '\xff'), At); // the first audio frame's bytes
        Ok = Ok && ftruncate(Fd, At + Audio) == 0;
        if (Pick(10) == 0) // some carry an ID3v1 tag as well
            Write(V1Tag(Title, Artist), At + Audio - 128);
        Ok = close(Fd) == 0 && Ok;
        if (!Ok)
            std::perror(Path.c_str());
        return Ok;
    }

    bool WriteFile(const std::string& Path, const std::string& Head, std::int64_t Size,
                   const std::string& Tail) {
        const int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (Fd < 0) {
            std::perror(Path.c_str());
            return false;
        }
        bool Ok = write(Fd, Head.data(), Head.size()) == ssize_t(Head.size());
        const std::int64_t Total = std::max<std::int64_t>(Size, std::int64_t(Head.size()));
        if (Size > 0)
            Ok = Ok && ftruncate(Fd, Total) == 0;
        if (!Tail.empty())
            Ok = Ok && pwrite(Fd, Tail.data(), Tail.size(), Total - off_t(Tail.size())) ==
                           ssize_t(Tail.size());
        Ok = close(Fd) == 0 && Ok;
        if (!Ok)
            std::perror(Path.c_str());
        return Ok;
    }

    const Options& opt_;
    std::mt19937 random_;
};

int Usage() {
    std::fprintf(stderr, "usage: bench_genlib [--files N] [--seed S] [--tagged-only] FOLDER\n"
                         "Generates FOLDER once; a complete FOLDER is left as it is.\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options Opt;
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--files" && I + 1 < argc)
            Opt.Files = std::atol(argv[++I]);
        else if (Arg == "--seed" && I + 1 < argc)
            Opt.Seed = static_cast<unsigned>(std::atol(argv[++I]));
        else if (Arg == "--tagged-only")
            Opt.TaggedOnly = true;
        else if (!Arg.empty() && Arg[0] != '-' && Opt.Folder.empty())
            Opt.Folder = Arg;
        else
            return Usage();
    }
    if (Opt.Folder.empty() || Opt.Files < 0)
        return Usage();
    // The stamp sits beside the tree, so the benchmark walks only the library.
    const std::string Stamp = Opt.Folder + ".complete";
    if (access(Stamp.c_str(), F_OK) == 0) {
        std::printf("library %s: already generated\n", Opt.Folder.c_str());
        return 0;
    }
    if (!Generator(Opt).Run())
        return 1;
    const int Fd = open(Stamp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Fd < 0 || close(Fd) != 0) {
        std::perror(Stamp.c_str());
        return 1;
    }
    std::printf("library %s: %ld files generated (seed %u%s)\n", Opt.Folder.c_str(), Opt.Files,
                Opt.Seed, Opt.TaggedOnly ? ", tagged .mp3 only" : "");
    return 0;
}

#include "index/IndexRow.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>

namespace {

// 3: the album artist, the composer and the format joined the six texts.
constexpr unsigned char BlobVersion = 3;
constexpr std::size_t FieldCount = MediaFieldCount;
// Far beyond any tag field a reader returns; a longer length is damage.
constexpr std::uint64_t MostValueBytes = 1u << 24;
constexpr std::uint64_t MostValues = 1024;

// Appends to Out through a pointer, its room made once for the most the
// writes can take (Most), then cut to what they took: a file's part is a few
// dozen small numbers and texts, and a check of the string's room for each
// was a visible share of a first compile's packing.
class TPacker {
public:
    TPacker(std::string& Out, std::size_t Most) : out_(Out) {
        const std::size_t Begin = Out.size();
        Out.resize(Begin + Most);
        at_ = Out.data() + Begin;
    }
    ~TPacker() { out_.resize(static_cast<std::size_t>(at_ - out_.data())); }
    TPacker(const TPacker&) = delete;
    TPacker& operator=(const TPacker&) = delete;
    // Each write goes through a local pointer: a store through a char
    // pointer may change any object, at_ itself too, so the compiler would
    // reload at_ and store it back for every byte, a chain through memory
    // that made the packing of a file's stamp most of its cost.
    void Byte(unsigned char Value) {
        char* At = at_;
        *At = static_cast<char>(Value);
        at_ = At + 1;
    }
    void Number(std::uint64_t Value) {
        char* At = at_;
        while (Value >= 0x80) {
            *At++ = static_cast<char>((Value & 0x7f) | 0x80);
            Value >>= 7;
        }
        *At++ = static_cast<char>(Value);
        at_ = At;
    }
    void Raw(std::string_view Bytes) {
        if (!Bytes.empty())
            std::memcpy(at_, Bytes.data(), Bytes.size());
        at_ += Bytes.size();
    }
    void Bytes(std::string_view Bytes) {
        Number(Bytes.size());
        Raw(Bytes);
    }

private:
    std::string& out_;
    char* at_;
};

// The most bytes a number takes.
constexpr std::size_t MostNumber = 10;

std::size_t NumberBytes(std::uint64_t Value) {
    std::size_t Bytes = 1;
    for (; Value >= 0x80; Value >>= 7)
        ++Bytes;
    return Bytes;
}

// The fields' texts in the order of TMediaField.
std::array<const std::string*, FieldCount> TextsOf(const TMediaInfo& Info) {
    static_assert(FieldCount == 8);
    return {&Info.Title, &Info.Artist, &Info.Album,       &Info.Genre,
            &Info.Year,  &Info.Track,  &Info.AlbumArtist, &Info.Composer};
}

// The size of PackMediaInfo(Info), exactly.
std::size_t PackedMediaInfoSize(const TMediaInfo& Info,
                                const std::array<const std::string*, FieldCount>& Texts) {
    std::size_t Bytes = 2 + NumberBytes(Info.Values.size());
    for (const std::string* Text : Texts)
        Bytes += NumberBytes(Text->size()) + Text->size();
    for (const TFieldValue& Value : Info.Values)
        Bytes += 1 + NumberBytes(Value.Text.size()) + Value.Text.size();
    return Bytes;
}

void PackMediaInfoWith(TPacker& Out, const TMediaInfo& Info,
                       const std::array<const std::string*, FieldCount>& Texts) {
    Out.Byte(BlobVersion);
    for (const std::string* Text : Texts)
        Out.Bytes(*Text);
    Out.Number(Info.Values.size());
    for (const TFieldValue& Value : Info.Values) {
        Out.Byte(static_cast<unsigned char>(Value.Field));
        Out.Bytes(Value.Text);
    }
    Out.Byte(static_cast<unsigned char>(Info.Format));
}

bool GetNumber(std::string_view& In, std::uint64_t& Value) {
    const auto* At = reinterpret_cast<const unsigned char*>(In.data());
    const std::size_t Most = std::min<std::size_t>(In.size(), 10); // 64 bits in sevens
    std::uint64_t Read = 0;
    for (std::size_t K = 0; K < Most; ++K) {
        Read |= std::uint64_t{At[K] & 0x7fu} << (7 * K);
        if (!(At[K] & 0x80)) {
            Value = Read;
            In.remove_prefix(K + 1);
            return true;
        }
    }
    return false;
}

std::int64_t Nanoseconds(const timespec& Time) {
    return static_cast<std::int64_t>(Time.tv_sec) * 1000000000 + Time.tv_nsec;
}

} // namespace

bool StampAt(int FolderFd, const char* Name, TFileStamp& Stamp) {
    struct stat Info;
    return fstatat(FolderFd, Name, &Info, 0) == 0 && StampOf(Info, Stamp);
}

bool StampOf(const struct stat& Info, TFileStamp& Stamp) {
    if (!S_ISREG(Info.st_mode))
        return false;
    Stamp.Device = Info.st_dev;
    Stamp.Inode = Info.st_ino;
    Stamp.Size = Info.st_size;
    Stamp.ModifiedNs = Nanoseconds(Info.st_mtim);
    Stamp.ChangedNs = Nanoseconds(Info.st_ctim);
    return true;
}

std::int64_t NowNs() {
    timespec Now{};
    clock_gettime(CLOCK_REALTIME, &Now);
    return Nanoseconds(Now);
}

bool TooRecentToRemember(const TFileStamp& Stamp, std::int64_t Now, std::int64_t Margin) {
    return Stamp.ChangedNs > Now - Margin || Stamp.ModifiedNs > Now - Margin;
}

std::string PackMediaInfo(const TMediaInfo& Info) {
    const auto Texts = TextsOf(Info);
    std::string Out;
    {
        TPacker Packer(Out, PackedMediaInfoSize(Info, Texts));
        PackMediaInfoWith(Packer, Info, Texts);
    }
    return Out;
}

namespace {

bool GetText(std::string_view& Blob, std::string_view& Text) {
    std::uint64_t Length = 0;
    if (!GetNumber(Blob, Length) || Length > MostValueBytes || Length > Blob.size())
        return false;
    Text = Blob.substr(0, Length);
    Blob.remove_prefix(Length);
    return true;
}

// One pass over a blob: with Info null it only checks it; otherwise the
// texts go into Info's own strings (their room kept).
bool ReadFields(std::string_view Blob, TMediaInfo* Info) {
    if (Blob.empty() || static_cast<unsigned char>(Blob.front()) != BlobVersion)
        return false;
    Blob.remove_prefix(1);
    std::string_view Text;
    for (std::size_t Field = 0; Field < FieldCount; ++Field) {
        if (!GetText(Blob, Text))
            return false;
        if (Info)
            Info->Text(static_cast<TMediaField>(Field)).assign(Text);
    }
    std::uint64_t Values = 0;
    if (!GetNumber(Blob, Values) || Values > MostValues)
        return false;
    if (Info)
        Info->Values.clear();
    for (std::uint64_t K = 0; K < Values; ++K) {
        if (Blob.empty() || static_cast<unsigned char>(Blob.front()) >= FieldCount)
            return false;
        const auto Field = static_cast<TMediaField>(Blob.front());
        Blob.remove_prefix(1);
        if (!GetText(Blob, Text))
            return false;
        if (Info)
            Info->Values.push_back({Field, std::string(Text)});
    }
    if (Blob.size() != 1 || static_cast<unsigned char>(Blob.front()) >= ContentFormatCount)
        return false;
    if (Info)
        Info->Format = static_cast<TContentFormat>(Blob.front());
    return true;
}

} // namespace

bool UnpackMediaInfo(std::string_view Blob, TMediaInfo& Info) {
    // Checked whole before Info is touched, then unpacked straight into it:
    // no second TMediaInfo to move from.
    return ReadFields(Blob, nullptr) && ReadFields(Blob, &Info);
}

namespace {

constexpr unsigned char FolderVersion = 1;

std::uint64_t Zigzag(std::int64_t Value) {
    return (static_cast<std::uint64_t>(Value) << 1) ^ static_cast<std::uint64_t>(Value >> 63);
}

std::int64_t Unzigzag(std::uint64_t Value) {
    return static_cast<std::int64_t>(Value >> 1) ^ -static_cast<std::int64_t>(Value & 1);
}

bool GetBytes(std::string_view& In, std::string_view& Bytes) {
    std::uint64_t Length = 0;
    if (!GetNumber(In, Length) || Length > In.size())
        return false;
    Bytes = In.substr(0, Length);
    In.remove_prefix(Length);
    return true;
}

bool GetSigned(std::string_view& In, std::int64_t& Value) {
    std::uint64_t Raw = 0;
    if (!GetNumber(In, Raw))
        return false;
    Value = Unzigzag(Raw);
    return true;
}

} // namespace

namespace {

// The most a part takes beside its name, code page and fields.
constexpr std::size_t MostFileNumbers = 12 * MostNumber + 1;

// A part's head: the name, the stamp, the reader, code page, flags and
// sources; the fields follow, then PackFileTail.
void PackFileHead(TPacker& Out, const TPackedFile& File) {
    Out.Bytes(File.Name);
    Out.Number(File.Stamp.Device);
    Out.Number(File.Stamp.Inode);
    Out.Number(Zigzag(File.Stamp.Size));
    Out.Number(Zigzag(File.Stamp.ModifiedNs));
    Out.Number(Zigzag(File.Stamp.ChangedNs));
    Out.Number(Zigzag(File.ReaderVersion));
    Out.Bytes(File.CodePage);
    Out.Byte(static_cast<unsigned char>((File.ReadOtherFormats ? 1 : 0) | (File.Found ? 2 : 0)));
    Out.Number(Zigzag(File.Sources));
}

void PackFileTail(TPacker& Out, const TPackedFile& File) {
    Out.Number(Zigzag(File.LengthMs));
    Out.Number(Zigzag(File.SeenDay));
}

std::size_t MostFilePart(const TPackedFile& File) {
    return File.Name.size() + File.CodePage.size() + File.Fields.size() + MostFileNumbers;
}

void PackFileWith(TPacker& Out, const TPackedFile& File) {
    PackFileHead(Out, File);
    Out.Bytes(File.Fields);
    PackFileTail(Out, File);
}

bool UnpackFile(std::string_view& In, TPackedFile& File) {
    std::int64_t Reader = 0, Sources = 0;
    if (!GetBytes(In, File.Name) || !GetNumber(In, File.Stamp.Device) ||
        !GetNumber(In, File.Stamp.Inode) || !GetSigned(In, File.Stamp.Size) ||
        !GetSigned(In, File.Stamp.ModifiedNs) || !GetSigned(In, File.Stamp.ChangedNs) ||
        !GetSigned(In, Reader) || !GetBytes(In, File.CodePage) || In.empty())
        return false;
    const auto Flags = static_cast<unsigned char>(In.front());
    In.remove_prefix(1);
    if (Flags > 3 || !GetSigned(In, Sources) || !GetBytes(In, File.Fields) ||
        !GetSigned(In, File.LengthMs) || !GetSigned(In, File.SeenDay))
        return false;
    if (Reader != static_cast<int>(Reader) || Sources != static_cast<int>(Sources))
        return false;
    File.ReaderVersion = static_cast<int>(Reader);
    File.Sources = static_cast<int>(Sources);
    File.ReadOtherFormats = Flags & 1;
    File.Found = Flags & 2;
    return true;
}

} // namespace

void PackFilePart(std::string& Out, const TPackedFile& File) {
    TPacker Packer(Out, MostFilePart(File));
    PackFileWith(Packer, File);
}

void PackReadFilePart(std::string& Out, const TPackedFile& File, const TMediaInfo& Info) {
    const auto Texts = TextsOf(Info);
    const std::size_t Fields = File.Found ? PackedMediaInfoSize(Info, Texts) : 0;
    TPacker Packer(Out, MostFilePart(File) - File.Fields.size() + Fields);
    PackFileHead(Packer, File);
    Packer.Number(Fields);
    if (File.Found)
        PackMediaInfoWith(Packer, Info, Texts);
    PackFileTail(Packer, File);
}

bool UnpackFilePart(std::string_view Part, TPackedFile& File) {
    return UnpackFile(Part, File) && Part.empty();
}

std::string PackFolder(const std::vector<TPackedFile>& Files) {
    std::size_t Most = 1 + MostNumber;
    for (const TPackedFile& File : Files)
        Most += MostFilePart(File);
    std::string Out;
    {
        TPacker Packer(Out, Most);
        Packer.Byte(FolderVersion);
        Packer.Number(Files.size());
        for (const TPackedFile& File : Files)
            PackFileWith(Packer, File);
    }
    return Out;
}

std::string PackFolderOfParts(const std::vector<std::string_view>& Parts) {
    std::size_t Most = 1 + MostNumber;
    for (const std::string_view Part : Parts)
        Most += Part.size();
    std::string Out;
    {
        TPacker Packer(Out, Most);
        Packer.Byte(FolderVersion);
        Packer.Number(Parts.size());
        for (const std::string_view Part : Parts)
            Packer.Raw(Part);
    }
    return Out;
}

namespace {

// A folder row's version and count of files; Blob is left at the first file.
bool GetFolderHead(std::string_view& Blob, std::uint64_t& Count) {
    if (Blob.empty() || static_cast<unsigned char>(Blob.front()) != FolderVersion)
        return false;
    Blob.remove_prefix(1);
    return GetNumber(Blob, Count);
}

} // namespace

bool UnpackFolder(std::string_view Blob, std::vector<TPackedFile>& Files) {
    Files.clear();
    std::uint64_t Count = 0;
    // Each file takes at least a dozen bytes: a count beyond that is damage.
    if (!GetFolderHead(Blob, Count) || Count > Blob.size())
        return false;
    Files.reserve(static_cast<std::size_t>(Count));
    for (std::uint64_t K = 0; K < Count; ++K) {
        TPackedFile File;
        if (!UnpackFile(Blob, File))
            return false;
        // In name order, each name once: what the writer's merge relies on.
        if (!Files.empty() && !(Files.back().Name < File.Name))
            return false;
        Files.push_back(File);
    }
    return Blob.empty();
}

bool UnpackFirstFile(std::string_view Blob, TPackedFile& File) {
    std::uint64_t Count = 0;
    return GetFolderHead(Blob, Count) && Count > 0 && UnpackFile(Blob, File);
}

std::size_t FolderEnd(std::string_view Path) {
    const std::size_t Slash = Path.rfind('/');
    return Slash == std::string_view::npos ? 0 : Slash + 1;
}

const TPackedFile* FileNamed(const std::vector<TPackedFile>& Files, std::string_view Name) {
    const auto File =
        std::lower_bound(Files.begin(), Files.end(), Name,
                         [](const TPackedFile& Each, std::string_view N) { return Each.Name < N; });
    return File == Files.end() || File->Name != Name ? nullptr : &*File;
}

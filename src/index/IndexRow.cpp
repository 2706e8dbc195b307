#include "index/IndexRow.h"

#include <sys/stat.h>

#include <array>
#include <ctime>

namespace {

// 3: the album artist, the composer and the format joined the six texts.
constexpr unsigned char BlobVersion = 3;
constexpr std::size_t FieldCount = MediaFieldCount;
// Far beyond any tag field a reader returns; a longer length is damage.
constexpr std::uint64_t MostValueBytes = 1u << 24;
constexpr std::uint64_t MostValues = 1024;

void PutNumber(std::string& Out, std::uint64_t Value) {
    while (Value >= 0x80) {
        Out.push_back(static_cast<char>((Value & 0x7f) | 0x80));
        Value >>= 7;
    }
    Out.push_back(static_cast<char>(Value));
}

bool GetNumber(std::string_view& In, std::uint64_t& Value) {
    Value = 0;
    for (int Shift = 0; Shift < 64; Shift += 7) {
        if (In.empty())
            return false;
        const auto Byte = static_cast<unsigned char>(In.front());
        In.remove_prefix(1);
        Value |= std::uint64_t{Byte & 0x7fu} << Shift;
        if (!(Byte & 0x80))
            return true;
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
    std::string Out(1, static_cast<char>(BlobVersion));
    for (std::size_t Field = 0; Field < FieldCount; ++Field) {
        const std::string& Text = Info.Text(static_cast<TMediaField>(Field));
        PutNumber(Out, Text.size());
        Out += Text;
    }
    PutNumber(Out, Info.Values.size());
    for (const TFieldValue& Value : Info.Values) {
        Out.push_back(static_cast<char>(Value.Field));
        PutNumber(Out, Value.Text.size());
        Out += Value.Text;
    }
    Out.push_back(static_cast<char>(Info.Format));
    return Out;
}

namespace {

bool GetText(std::string_view& Blob, std::string& Text) {
    std::uint64_t Length = 0;
    if (!GetNumber(Blob, Length) || Length > MostValueBytes || Length > Blob.size())
        return false;
    Text.assign(Blob.substr(0, Length));
    Blob.remove_prefix(Length);
    return true;
}

} // namespace

bool UnpackMediaInfo(std::string_view Blob, TMediaInfo& Info) {
    if (Blob.empty() || static_cast<unsigned char>(Blob.front()) != BlobVersion)
        return false;
    Blob.remove_prefix(1);
    TMediaInfo Read;
    for (std::size_t Field = 0; Field < FieldCount; ++Field)
        if (!GetText(Blob, Read.Text(static_cast<TMediaField>(Field))))
            return false;
    std::uint64_t Values = 0;
    if (!GetNumber(Blob, Values) || Values > MostValues)
        return false;
    for (std::uint64_t K = 0; K < Values; ++K) {
        if (Blob.empty() || static_cast<unsigned char>(Blob.front()) >= FieldCount)
            return false;
        TFieldValue Value{static_cast<TMediaField>(Blob.front()), {}};
        Blob.remove_prefix(1);
        if (!GetText(Blob, Value.Text))
            return false;
        Read.Values.push_back(std::move(Value));
    }
    if (Blob.size() != 1 || static_cast<unsigned char>(Blob.front()) >= ContentFormatCount)
        return false;
    Read.Format = static_cast<TContentFormat>(Blob.front());
    Info = std::move(Read);
    return true;
}

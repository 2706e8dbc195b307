#include "index/IndexRow.h"

#include <sys/stat.h>

#include <array>
#include <ctime>

namespace {

constexpr unsigned char BlobVersion = 1;
constexpr std::size_t FieldCount = 6;
// Far beyond any tag field a reader returns; a longer length is damage.
constexpr std::uint64_t MostValueBytes = 1u << 24;
constexpr std::uint64_t MostValues = 1024;

std::array<std::string*, FieldCount> Fields(TMediaInfo& Info) {
    return {&Info.Title, &Info.Artist, &Info.Album, &Info.Genre, &Info.Year, &Info.Track};
}

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
    if (fstatat(FolderFd, Name, &Info, 0) != 0 || !S_ISREG(Info.st_mode))
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
    for (const std::string* Field : Fields(const_cast<TMediaInfo&>(Info))) {
        PutNumber(Out, Field->empty() ? 0 : 1);
        if (!Field->empty()) {
            PutNumber(Out, Field->size());
            Out += *Field;
        }
    }
    return Out;
}

bool UnpackMediaInfo(std::string_view Blob, TMediaInfo& Info) {
    if (Blob.empty() || static_cast<unsigned char>(Blob.front()) != BlobVersion)
        return false;
    Blob.remove_prefix(1);
    TMediaInfo Read;
    for (std::string* Field : Fields(Read)) {
        std::uint64_t Values = 0;
        if (!GetNumber(Blob, Values) || Values > MostValues)
            return false;
        for (std::uint64_t K = 0; K < Values; ++K) {
            std::uint64_t Length = 0;
            if (!GetNumber(Blob, Length) || Length > MostValueBytes || Length > Blob.size())
                return false;
            if (K == 0) // the record holds one value per field
                Field->assign(Blob.substr(0, Length));
            Blob.remove_prefix(Length);
        }
    }
    if (!Blob.empty())
        return false;
    Info = std::move(Read);
    return true;
}

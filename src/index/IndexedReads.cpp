#include "index/IndexedReads.h"

#include <fcntl.h>

bool TrustsTags(const TIndexRow& Row, const TFileStamp& Stamp, const std::string& CodePage,
                bool ReadOtherFormats, TTagSources Sources) {
    return Row.Stamp == Stamp && Row.ReaderVersion == TagReaderVersion &&
           Row.Sources == static_cast<int>(Sources) && Row.CodePage == CodePage &&
           Row.ReadOtherFormats == ReadOtherFormats;
}

bool TrustsLength(const TIndexRow& Row, const TFileStamp& Stamp) {
    return Row.Stamp == Stamp && Row.ReaderVersion == TagReaderVersion &&
           Row.LengthMs != TIndexRow::LengthNotRead;
}

namespace {

// The remembered tags into Info when the row holds them; false when its
// fields cannot be unpacked (then the file is read).
bool FromRow(const TIndexRow& Row, TMediaInfo& Info, bool& Found) {
    Found = Row.Found;
    return !Row.Found || UnpackMediaInfo(Row.Fields, Info);
}

} // namespace

TIndexedTagReader::TIndexedTagReader(TTagIndex& Index, const std::vector<std::string>& Folders,
                                     std::string CodePage, bool ReadOtherFormats)
    : index_(Index), rows_(Index.RowsBelow(Folders)), codePage_(std::move(CodePage)),
      readOtherFormats_(ReadOtherFormats), now_(NowNs()) {}

bool TIndexedTagReader::ReadAt(int FolderFd, const char* Name, const std::string& Path,
                               TTagSources Sources, TMediaInfo& Info, std::int64_t& Size,
                               TTagDecoder& Decoder) {
    TFileStamp Stamp;
    // The stamp comes before the read: a write during the read moves the
    // change time past it, so the row is not trusted next time.
    if (!StampAt(FolderFd, Name, Stamp))
        return ReadTagsAt(FolderFd, Name, Sources, Info, Size, Decoder);
    if (const auto Row = rows_->find(Path);
        Row != rows_->end() &&
        TrustsTags(Row->second, Stamp, codePage_, readOtherFormats_, Sources)) {
        bool Found = false;
        if (FromRow(Row->second, Info, Found)) {
            Size = Stamp.Size;
            index_.NoteRemembered();
            if (Row->second.SeenDay < index_.Today())
                index_.MarkSeen(Path);
            return Found;
        }
    }
    const bool Found = ReadTagsAt(FolderFd, Name, Sources, Info, Size, Decoder);
    // A file that could not be opened is not remembered as one without tags.
    if (Size >= 0 && !TooRecentToRemember(Stamp, now_, index_.RecentNs()))
        index_.RememberTags(Path, Stamp, codePage_, readOtherFormats_, Sources, Found, Info);
    return Found;
}

bool ReadTagsRemembered(TTagIndex* Index, const std::string& Path, TTagSources Sources,
                        const std::string& CodePage, bool ReadOtherFormats, TMediaInfo& Info,
                        TTagDecoder& Decoder) {
    TFileStamp Stamp;
    if (!Index || !Index->Usable() || !StampAt(AT_FDCWD, Path.c_str(), Stamp))
        return ReadTags(Path, Sources, Info, Decoder);
    TIndexRow Row;
    if (Index->Find(Path, Row) && TrustsTags(Row, Stamp, CodePage, ReadOtherFormats, Sources)) {
        TMediaInfo Remembered = Info;
        bool Found = false;
        if (FromRow(Row, Remembered, Found)) {
            Info = std::move(Remembered);
            Index->NoteRemembered();
            return Found;
        }
    }
    const bool Found = ReadTags(Path, Sources, Info, Decoder);
    if (!TooRecentToRemember(Stamp, NowNs(), Index->RecentNs()))
        Index->RememberTags(Path, Stamp, CodePage, ReadOtherFormats, Sources, Found, Info);
    return Found;
}

std::int64_t ReadDurationRemembered(TTagIndex* Index, const std::string& Path) {
    TFileStamp Stamp;
    if (!Index || !Index->Usable() || !StampAt(AT_FDCWD, Path.c_str(), Stamp))
        return ReadDurationMs(Path);
    TIndexRow Row;
    if (Index->Find(Path, Row) && TrustsLength(Row, Stamp)) {
        Index->NoteRemembered();
        return Row.LengthMs;
    }
    const std::int64_t Length = ReadDurationMs(Path);
    if (!TooRecentToRemember(Stamp, NowNs(), Index->RecentNs()))
        Index->RememberLength(Path, Stamp, Length);
    return Length;
}

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
    : index_(Index), codePage_(std::move(CodePage)), readOtherFormats_(ReadOtherFormats),
      rows_(Index.RowsBelow(Folders, codePage_, readOtherFormats_)), now_(NowNs()) {}

bool TIndexedTagReader::ReadAt(int FolderFd, const char* Name, const std::string& Path,
                               TTagSources Sources, TMediaInfo& Info, std::int64_t& Size,
                               TTagDecoder& Decoder) {
    TFileStamp Stamp;
    // The rows hold only reads with this run's code page, option and reader.
    // An empty index (a first compile) costs no look-up of each path.
    const TPackedFile* Row = rows_->empty() ? nullptr : rows_->Find(Path);
    if (Row) {
        if (const TFileStamp* Taken = stamps_ && !stamps_->empty() ? stamps_->Find(Path) : nullptr)
            Stamp = *Taken;
        else if (!StampAt(FolderFd, Name, Stamp))
            return ReadTagsAt(FolderFd, Name, Sources, Info, Size, Decoder);
    }
    if (Row && Row->Stamp == Stamp && Row->Sources == static_cast<int>(Sources)) {
        if (!Row->Found || UnpackMediaInfo(Row->Fields, Info)) {
            Size = Stamp.Size;
            index_.NoteRemembered();
            if (Row->SeenDay < index_.Today())
                index_.MarkSeen(Path);
            return Row->Found;
        }
        Info = TMediaInfo{}; // a damaged row: the file is read as if it had none
    }
    // The stamp comes before the read (from the open file's status): a write
    // during the read moves the change time past it, so the row is not
    // trusted next time.
    struct stat Opened;
    const bool Found = ReadTagsAt(FolderFd, Name, Sources, Info, Opened, Decoder);
    // A file that could not be opened is not remembered as one without tags.
    if (!StampOf(Opened, Stamp)) {
        Size = -1;
        return Found;
    }
    Size = Stamp.Size;
    if (!TooRecentToRemember(Stamp, now_, index_.RecentNs()))
        index_.RememberTags(Path, Stamp, codePage_, readOtherFormats_, Sources, Found, Info);
    return Found;
}

std::int64_t TIndexedTagReader::LengthAt(int FolderFd, const char* Name, const std::string& Path) {
    TFileStamp Stamp;
    if (!StampAt(FolderFd, Name, Stamp))
        return ReadDurationMs(Path);
    const TPackedFile* Row = rows_->Find(Path);
    if (Row && Row->Stamp == Stamp && Row->LengthMs != TIndexRow::LengthNotRead) {
        index_.NoteRemembered();
        return Row->LengthMs;
    }
    const std::int64_t Length = ReadDurationMs(Path);
    if (!TooRecentToRemember(Stamp, now_, index_.RecentNs()))
        index_.RememberLength(Path, Stamp, Length);
    return Length;
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

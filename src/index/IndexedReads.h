// Reading tags and lengths through the tag index: a remembered result is
// used only while it still describes the file (the same device, inode, size,
// modification and change times, read with the same code page, options and
// reader version); otherwise the file is read and the result remembered.
#pragma once

#include "index/TagIndex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Whether Row still holds what a read of a file with Stamp would give.
bool TrustsTags(const TIndexRow& Row, const TFileStamp& Stamp, const std::string& CodePage,
                bool ReadOtherFormats, TTagSources Sources);
bool TrustsLength(const TIndexRow& Row, const TFileStamp& Stamp);

// The reads of one compile run: the rows below its folders are read once at
// the start; ReadAt is then safe on any number of threads at once.
class TIndexedTagReader {
public:
    TIndexedTagReader(TTagIndex& Index, const std::vector<std::string>& Folders,
                      std::string CodePage, bool ReadOtherFormats);
    // As ReadTagsAt; Path is the file's full path, Name its name in FolderFd.
    bool ReadAt(int FolderFd, const char* Name, const std::string& Path, TTagSources Sources,
                TMediaInfo& Info, std::int64_t& Size, TTagDecoder& Decoder);
    // The length of Name in FolderFd (Path its full path), as ReadDurationMs:
    // remembered with the file's present stamp, or read and remembered.
    std::int64_t LengthAt(int FolderFd, const char* Name, const std::string& Path);
    // Folders whose rows likely answer this run's reads (before checking
    // each file's stamp).
    std::size_t Rows() const { return rows_->FoldersLikelyFound(); }
    // Stamps this run took of its files while the rows loaded: a file found
    // among them is not stat'ed a second time to decide whether its row
    // still holds. They never stamp a read that is remembered
    // (that takes the status of the read's own open, or one taken just
    // before it): the file may have changed since.
    void UseStampsTaken(std::shared_ptr<const TTakenStamps> Stamps) { stamps_ = std::move(Stamps); }

private:
    TTagIndex& index_;
    std::string codePage_;
    bool readOtherFormats_;
    std::shared_ptr<const TRememberedFolders> rows_;
    std::shared_ptr<const TTakenStamps> stamps_; // may be null
    std::int64_t now_;                           // when the run started
};

// One file by its path (a file added by hand), as ReadTags. Index may be null.
bool ReadTagsRemembered(TTagIndex* Index, const std::string& Path, TTagSources Sources,
                        const std::string& CodePage, bool ReadOtherFormats, TMediaInfo& Info,
                        TTagDecoder& Decoder);
// One file's length, as ReadDurationMs. Index may be null.
std::int64_t ReadDurationRemembered(TTagIndex* Index, const std::string& Path);

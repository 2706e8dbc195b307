// Which files a search takes and which readers read them: the one place that
// decides, for any path, whether it is a candidate of a compile, which tags a
// read looks for (found by the walk or added by hand), and which patterns the
// add-files dialog offers. Plain C++, no Qt.
#pragma once

#include "engine/CompileJob.h"
#include "engine/Criteria.h"
#include "engine/Reasons.h"
#include "media/AudioTags.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Whether the path's extension is ".mp3" in any letter case.
bool IsMp3Extension(std::string_view Path);

// Whether the path's extension (any letter case) is one of the formats that
// the other readers serve: .flac .ogg .oga .opus .m4a .m4b .mp4 .aac .wma .asf
// .wav .aif .aiff .ape .wv .mpc.
bool HasOtherFormatExtension(std::string_view Path);

// A filename mask for each extension the readers serve ("*.mp3", "*.flac",
// ...): the masks a first run starts with.
std::vector<std::string> ReadableFormatMasks();

// The tags a compile's read of Path looks for. A file of another format is
// read by its own reader, whose "no tag" then goes the way of any other file:
// on to the ID3 reader when the thorough check asks for it.
TTagSources TagSourcesOf(const CompileJob& Job, std::string_view Path);

// The sources for a file added by hand, whatever its extension: with the
// other formats on, a file with one of their extensions is read by its own
// reader and then for ID3; any other file for ID3 and then APEv2.
TTagSources HandAddedTagSources(std::string_view Path, bool ReadOtherFormats);

// What the filename masks and the options decide before any tag is read.
enum class TNameVerdict { Rejected, Accepted, ReadTags };

// Matches(Index) tests the job's mask Index against the path (and may throw
// for a malformed mask). Why, when given, gets the mask that matched and,
// without a tag read, the reason.
template <class MaskMatches>
TNameVerdict JudgeName(const CompileJob& Job, std::string_view Path, MaskMatches&& Matches,
                       TDecisionReason* Why) {
    bool Matched = false;
    std::size_t Index = 0;
    for (; Index < Job.FilenameMasks.size() && !Matched; ++Index)
        Matched = Matches(Index);
    if (!Matched) {
        if (Why)
            Why->Kind = TReasonKind::NoFilenameMask;
        return TNameVerdict::Rejected;
    }
    if (Why)
        Why->FilenameMask = static_cast<std::uint32_t>(Index - 1);
    if (!Job.ThoroughID3Check && !IsMp3Extension(Path) &&
        !(Job.ReadOtherFormats && HasOtherFormatExtension(Path))) {
        if (Why) {
            Why->Tags = TTagRead::NotRead;
            Why->Kind = Job.IncludeTaglessFiles ? TReasonKind::TaglessIncluded
                                                : TReasonKind::TaglessDropped;
        }
        return Job.IncludeTaglessFiles ? TNameVerdict::Accepted : TNameVerdict::Rejected;
    }
    return TNameVerdict::ReadTags;
}

// The decision once the tags were read (Found: a tag was there). Facts: the
// file's length and modification time, when the criteria ask for them.
bool JudgeTags(const CompileJob& Job, std::string_view Path, bool Found, const TMediaInfo& Info,
               TTagDecoder& Decoder, TDecisionReason* Why, const TFileFacts* Facts = nullptr);

// Whether the criteria need a tagged file's length or modification time.
inline bool NeedsFacts(const CompileJob& Job) {
    return Job.Criteria.NeedsLength() || Job.Criteria.NeedsModified();
}

// The facts of the file Name in FolderFd that the job's criteria ask for:
// the modification time by a status, the length from DurationMs.
template <class Duration>
TFileFacts FileFactsAt(const CompileJob& Job, int FolderFd, const char* Name,
                       Duration&& DurationMs) {
    TFileFacts Facts;
    if (Job.Criteria.NeedsModified()) {
        struct stat Status;
        if (fstatat(FolderFd, Name, &Status, 0) == 0) {
            Facts.ModifiedNs = static_cast<std::int64_t>(Status.st_mtim.tv_sec) * 1'000'000'000 +
                               Status.st_mtim.tv_nsec;
            Facts.ModifiedKnown = true;
        }
    }
    if (Job.Criteria.NeedsLength())
        Facts.LengthMs = DurationMs();
    return Facts;
}

// The whole rule for one path: the name, then, when it asks for them, the
// tags that Read() reads (true when a tag was found) and the facts that
// Facts() gives (when the criteria need any).
template <class MaskMatches, class ReadTags, class FactsOf>
bool Decide(const CompileJob& Job, std::string_view Path, const TMediaInfo& Info,
            MaskMatches&& Matches, ReadTags&& Read, FactsOf&& Facts, TTagDecoder& Decoder,
            TDecisionReason* Why) {
    switch (JudgeName(Job, Path, Matches, Why)) {
    case TNameVerdict::Rejected:
        return false;
    case TNameVerdict::Accepted:
        return true;
    case TNameVerdict::ReadTags:
        break;
    }
    const bool Found = Read();
    if (Found && NeedsFacts(Job)) {
        const TFileFacts Known = Facts();
        return JudgeTags(Job, Path, Found, Info, Decoder, Why, &Known);
    }
    return JudgeTags(Job, Path, Found, Info, Decoder, Why);
}

// The file-type groups of the add-files dialog, as space-separated patterns.
struct TAddFilesPatterns {
    const char* Media;
    const char* Audio;
    const char* Video;
};
const TAddFilesPatterns& AddFilesPatterns();

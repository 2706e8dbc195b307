// Why a compile kept or dropped a file, recorded as a few numbers while the
// search runs (what decided, indices into the job's lists) and put into words
// only when someone looks: the list's Why column, its tooltip, --explain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CriteriaJob;

// What decided about a file.
enum class TReasonKind : std::uint8_t {
    AddedByHand,        // not judged: the user put it into the list
    NoFilenameMask,     // no filename mask matches its path
    TaglessIncluded,    // no tag to judge, and files without media info are included
    TaglessDropped,     // no tag to judge, and they are not
    Mp3WithoutTag,      // an .mp3 file without a tag, and tagless files are not included
    CriterionIncluded,  // a criterion voted include and the rules let it decide
    CriterionExcluded,  // a criterion voted exclude and the rules let it decide
    NoCriterionMatched, // the tag was read, but no criterion of any field matches it
    RemovedByYou,       // the criteria took it, but the user took it out of this search's list
    Unreadable,         // it could not be opened for reading
    // The criteria took it, but the search's selection left it out (its
    // ordinal among the files of its artist or album in Criterion):
    OverLimit,      // the limit was full
    OverArtistCap,  // its artist had as many files as the cap allows
    OverAlbumCap,   // its album had as many files as the cap allows
    LengthNotKnown, // the limit is in minutes and its length is not known
};

// Whether the file's tags were looked for, and found.
enum class TTagRead : std::uint8_t { NotRead, NotFound, Found };

struct TDecisionReason {
    static constexpr std::uint32_t NoIndex = 0xFFFFFFFF;
    static constexpr std::uint8_t NoField = 0xFF;
    // Flags: another criterion of the deciding field matched with the other
    // state and the field's rule set it aside; another field voted the other
    // way and the overall rule set it aside.
    static constexpr std::uint8_t FieldRuleSettled = 1;
    static constexpr std::uint8_t OrderRuleSettled = 2;

    std::uint32_t FilenameMask = NoIndex; // the first mask that matched, into the job's masks
    std::uint32_t Criterion = NoIndex;    // the deciding criterion, into its field's criteria
    TReasonKind Kind = TReasonKind::AddedByHand;
    TTagRead Tags = TTagRead::NotRead;
    std::uint8_t Field = NoField;   // the deciding field (CriterionField)
    std::uint8_t Against = NoField; // under the ByOrder overall rule: the first field after
                                    // the deciding one that voted the other way
    std::uint8_t Flags = 0;

    bool operator==(const TDecisionReason&) const = default;
};

// Whether the reason is one of a file that goes into the playlist.
bool ReasonIncludes(const TDecisionReason& Reason);

// The reason in the terms the user set, e.g. "Included: Title matches `*love*`
// (include)" or "Dropped: Artist matches `Brass*` (exclude); exclusion of
// artists takes precedence". Criteria is the job that decided; masks are
// quoted as their bytes stand.
std::string ReasonText(const TDecisionReason& Reason, const CriteriaJob& Criteria);

// "included" or "dropped".
const char* DecisionWord(const TDecisionReason& Reason);
// "read", "not read" or "no tag found".
const char* TagReadWord(TTagRead Tags);
// The filename mask that matched, from the job's masks; empty when none did.
std::string MatchedMask(const TDecisionReason& Reason, const std::vector<std::string>& Masks);

// A decision as one line of tab-separated values (path, decision, filename
// mask, tags, reason), LF-terminated. A backslash, tab, CR or LF inside a
// value is written as \\, \t, \r or \n, so every file is one line; any other
// control character, and bytes that are not UTF-8, as \xNN (QuoteForMessage).
std::string ExplainLine(const std::string& Path, const TDecisionReason& Reason,
                        const std::vector<std::string>& Masks, const CriteriaJob& Criteria);
// The first line: the names of the columns.
extern const char* const ExplainHeader;

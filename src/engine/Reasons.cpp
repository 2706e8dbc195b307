// A decision's reason in words, from the numbers the search recorded.
#include "engine/Reasons.h"

#include "engine/Criteria.h"
#include "model/MessageText.h"

namespace {

const char* const TaglessOption = "Include files for which no media info can be found";

// The field rule boxes speak of titles, artists...; so do the reasons.
const char* const FieldPlurals[CriterionFieldCount] = {
    "titles",        "artists",   "albums",  "genres",  "years",
    "album artists", "composers", "formats", "lengths", "modification times"};

bool ValidField(std::uint8_t Field) {
    return Field < CriterionFieldCount;
}

// "Title matches "*love*" (include)", and how the rules set the other votes aside.
std::string CriterionText(const TDecisionReason& Reason, const CriteriaJob& Job) {
    if (!ValidField(Reason.Field))
        return "a criterion";
    const FieldCriteria& Field = Job.Fields[Reason.Field];
    const bool Include = Reason.Kind == TReasonKind::CriterionIncluded;
    std::string Text = CriterionFieldNames[Reason.Field];
    if (Reason.Criterion < Field.Criteria.size())
        Text += " matches \"" + Field.Criteria[Reason.Criterion].Mask + "\"";
    Text += Include ? " (include)" : " (exclude)";
    if (Reason.Flags & TDecisionReason::FieldRuleSettled)
        Text += std::string("; ") + (Include ? "inclusion of " : "exclusion of ") +
                FieldPlurals[Reason.Field] + " takes precedence";
    if (Reason.Flags & TDecisionReason::OrderRuleSettled) {
        if (Job.OrderRule == PrecedenceRule::ByOrder && ValidField(Reason.Against))
            Text += std::string("; ") + CriterionFieldNames[Reason.Field] +
                    " is evaluated before " + CriterionFieldNames[Reason.Against];
        else if (Job.OrderRule != PrecedenceRule::ByOrder)
            Text += Include ? "; inclusion of media files takes precedence"
                            : "; exclusion of media files takes precedence";
    }
    return Text;
}

// "third", "21st": the place of a file among those of its artist or album.
std::string Ordinal(std::uint32_t N) {
    static const char* const Words[] = {"first", "second",  "third",  "fourth", "fifth",
                                        "sixth", "seventh", "eighth", "ninth",  "tenth"};
    if (N >= 1 && N <= 10)
        return Words[N - 1];
    const std::uint32_t Tens = N % 100;
    const char* Suffix = "th";
    if (Tens < 11 || Tens > 13) {
        if (N % 10 == 1)
            Suffix = "st";
        else if (N % 10 == 2)
            Suffix = "nd";
        else if (N % 10 == 3)
            Suffix = "rd";
    }
    return std::to_string(N) + Suffix;
}

} // namespace

bool ReasonIncludes(const TDecisionReason& Reason) {
    switch (Reason.Kind) {
    case TReasonKind::AddedByHand:
    case TReasonKind::TaglessIncluded:
    case TReasonKind::CriterionIncluded:
        return true;
    case TReasonKind::NoFilenameMask:
    case TReasonKind::TaglessDropped:
    case TReasonKind::Mp3WithoutTag:
    case TReasonKind::CriterionExcluded:
    case TReasonKind::NoCriterionMatched:
    case TReasonKind::RemovedByYou:
    case TReasonKind::Unreadable:
    case TReasonKind::OverLimit:
    case TReasonKind::OverArtistCap:
    case TReasonKind::OverAlbumCap:
    case TReasonKind::LengthNotKnown:
        break;
    }
    return false;
}

std::string ReasonText(const TDecisionReason& Reason, const CriteriaJob& Criteria) {
    switch (Reason.Kind) {
    case TReasonKind::AddedByHand:
        return "Added by hand";
    case TReasonKind::NoFilenameMask:
        return "Not matched: no filename mask matches";
    case TReasonKind::TaglessIncluded:
        return std::string("Accepted without tags: ") + TaglessOption;
    case TReasonKind::TaglessDropped:
        return std::string(Reason.Tags == TTagRead::NotRead ? "Dropped: tags not read, and "
                                                            : "Dropped: no tag found, and ") +
               TaglessOption + " is off";
    case TReasonKind::Mp3WithoutTag:
        return std::string("Dropped: .mp3 without a tag, and ") + TaglessOption + " is off";
    case TReasonKind::CriterionIncluded:
        return "Included: " + CriterionText(Reason, Criteria);
    case TReasonKind::CriterionExcluded:
        return "Dropped: " + CriterionText(Reason, Criteria);
    case TReasonKind::NoCriterionMatched:
        return "Dropped: no criterion matches the tag";
    case TReasonKind::RemovedByYou:
        return "Dropped: removed by you";
    case TReasonKind::Unreadable:
        return "Dropped: cannot be read";
    case TReasonKind::OverLimit:
        return "Dropped: over the " + LimitAdjective(Criteria.Selection.Limit) + " limit";
    case TReasonKind::OverArtistCap:
        return "Dropped: " + Ordinal(Reason.Criterion) + " file of the artist (at most " +
               std::to_string(Criteria.Selection.PerArtist) + " per artist)";
    case TReasonKind::OverAlbumCap:
        return "Dropped: " + Ordinal(Reason.Criterion) + " file of the album (at most " +
               std::to_string(Criteria.Selection.PerAlbum) + " per album)";
    case TReasonKind::LengthNotKnown:
        return "Dropped: length not known, and the limit is in minutes";
    }
    return {};
}

const char* DecisionWord(const TDecisionReason& Reason) {
    return ReasonIncludes(Reason) ? "included" : "dropped";
}

const char* TagReadWord(TTagRead Tags) {
    switch (Tags) {
    case TTagRead::NotRead:
        break;
    case TTagRead::NotFound:
        return "no tag found";
    case TTagRead::Found:
        return "read";
    }
    return "not read";
}

const char* const ExplainHeader = "path\tdecision\tfilename mask\ttags\treason\n";

namespace {
// The reversible escapes first; every other control, and bytes that are not
// UTF-8, as \xNN (QuoteForMessage), so the file is safe to show on a terminal.
void AppendEscaped(std::string& Line, const std::string& Value) {
    std::size_t Plain = 0;
    for (std::size_t At = 0; At <= Value.size(); ++At) {
        const char C = At < Value.size() ? Value[At] : '\\';
        if (C != '\\' && C != '\t' && C != '\r' && C != '\n')
            continue;
        Line +=
            QuoteForMessage(std::string_view(Value).substr(Plain, At - Plain), std::string::npos);
        Plain = At + 1;
        if (At == Value.size())
            break;
        switch (C) {
        case '\\':
            Line += "\\\\";
            break;
        case '\t':
            Line += "\\t";
            break;
        case '\r':
            Line += "\\r";
            break;
        case '\n':
            Line += "\\n";
            break;
        default:
            break;
        }
    }
}
} // namespace

std::string ExplainLine(const std::string& Path, const TDecisionReason& Reason,
                        const std::vector<std::string>& Masks, const CriteriaJob& Criteria) {
    std::string Line;
    AppendEscaped(Line, Path);
    Line += '\t';
    Line += DecisionWord(Reason);
    Line += '\t';
    AppendEscaped(Line, MatchedMask(Reason, Masks));
    Line += '\t';
    Line += TagReadWord(Reason.Tags);
    Line += '\t';
    AppendEscaped(Line, ReasonText(Reason, Criteria));
    Line += '\n';
    return Line;
}

std::string MatchedMask(const TDecisionReason& Reason, const std::vector<std::string>& Masks) {
    return Reason.FilenameMask < Masks.size() ? Masks[Reason.FilenameMask] : std::string();
}

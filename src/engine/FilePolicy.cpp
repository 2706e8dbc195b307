#include "engine/FilePolicy.h"

#include "files/Paths.h"

#include <algorithm>
#include <array>

bool IsMp3Extension(std::string_view Path) {
    return HasExtension(Path, ".mp3");
}

namespace {
constexpr std::array<std::string_view, 16> OtherFormatExtensions = {
    ".flac", ".ogg", ".oga", ".opus", ".m4a",  ".m4b", ".mp4", ".aac",
    ".wma",  ".asf", ".wav", ".aif",  ".aiff", ".ape", ".wv",  ".mpc"};
} // namespace

bool HasOtherFormatExtension(std::string_view Path) {
    return std::any_of(
        OtherFormatExtensions.begin(), OtherFormatExtensions.end(),
        [Path](std::string_view Extension) { return HasExtension(Path, Extension); });
}

std::vector<std::string> ReadableFormatMasks() {
    std::vector<std::string> Masks = {"*.mp3"};
    for (std::string_view Extension : OtherFormatExtensions)
        Masks.push_back("*" + std::string(Extension));
    return Masks;
}

TTagSources TagSourcesOf(const CompileJob& Job, std::string_view Path) {
    if (IsMp3Extension(Path))
        return Job.ReadOtherFormats ? TTagSources::ID3ThenAPE : TTagSources::ID3;
    if (Job.ReadOtherFormats && HasOtherFormatExtension(Path))
        return Job.ThoroughID3Check ? TTagSources::OtherFormatThenID3 : TTagSources::OtherFormat;
    return TTagSources::ID3;
}

TTagSources HandAddedTagSources(std::string_view Path, bool ReadOtherFormats) {
    if (!ReadOtherFormats)
        return TTagSources::ID3;
    return HasOtherFormatExtension(Path) ? TTagSources::OtherFormatThenID3
                                         : TTagSources::ID3ThenAPE;
}

bool JudgeTags(const CompileJob& Job, std::string_view Path, bool Found, const TMediaInfo& Info,
               TTagDecoder& Decoder, TDecisionReason* Why, const TFileFacts* Facts) {
    if (!Found) {
        // The tagless option takes an untagged .mp3 as it takes any other file:
        // whoever turns it on wants the files without tags listed.
        if (Why) {
            Why->Tags = TTagRead::NotFound;
            Why->Kind = Job.IncludeTaglessFiles ? TReasonKind::TaglessIncluded
                        : IsMp3Extension(Path)  ? TReasonKind::Mp3WithoutTag
                                                : TReasonKind::TaglessDropped;
        }
        return Job.IncludeTaglessFiles;
    }
    return EvaluateCriteria(Job.Criteria, Info, Decoder, Why, Facts);
}

const TAddFilesPatterns& AddFilesPatterns() {
    static const TAddFilesPatterns Patterns{
        "*.aac *.aif *.aifc *.aiff *.au *.cda *.kar *.mid *.midi *.miz *.mp1 *.mp2 *.mp3 *.nsa "
        "*.ogg *.rmi *.snd *.voc *.wav *.wma *.flac *.oga *.opus *.m4b *.ape *.wv *.mpc *.asf "
        "*.avi *.mpeg *.mpg *.mp4 *.m2v *.m4a *.nsv *.ogm *.wmv",
        "*.aac *.aif *.aifc *.aiff *.au *.cda *.kar *.mid *.midi *.miz *.mp1 *.mp2 *.mp3 *.nsa "
        "*.ogg *.rmi *.snd *.voc *.wav *.wma *.flac *.oga *.opus *.m4a *.m4b *.ape *.wv *.mpc",
        "*.asf *.avi *.mpeg *.mpg *.mp4 *.m2v *.m4a *.nsv *.ogm *.wmv"};
    return Patterns;
}

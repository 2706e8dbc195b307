#include "engine/FilePolicy.h"

#include "files/Paths.h"

#include <algorithm>
#include <array>

bool IsMp3Extension(std::string_view Path) {
    return HasExtension(Path, ".mp3");
}

bool HasOtherFormatExtension(std::string_view Path) {
    static constexpr std::array<std::string_view, 16> Extensions = {
        ".flac", ".ogg", ".oga", ".opus", ".m4a",  ".m4b", ".mp4", ".aac",
        ".wma",  ".asf", ".wav", ".aif",  ".aiff", ".ape", ".wv",  ".mpc"};
    return std::any_of(Extensions.begin(), Extensions.end(), [Path](std::string_view Extension) {
        return HasExtension(Path, Extension);
    });
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
               TTagDecoder& Decoder, TDecisionReason* Why) {
    if (!Found) {
        const bool Mp3 = IsMp3Extension(Path); // an untagged .mp3 is never taken
        if (Why) {
            Why->Tags = TTagRead::NotFound;
            Why->Kind = Mp3                       ? TReasonKind::Mp3WithoutTag
                        : Job.IncludeTaglessFiles ? TReasonKind::TaglessIncluded
                                                  : TReasonKind::TaglessDropped;
        }
        return !Mp3 && Job.IncludeTaglessFiles;
    }
    return EvaluateCriteria(Job.Criteria, Info, Decoder, Why);
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

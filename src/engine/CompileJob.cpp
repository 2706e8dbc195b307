// The compile job: the snapshot of a run's settings, what a run reports at its
// end, and the run itself over the folder walk (FolderWalk), the search run
// (SearchRun) and the acceptance rules (FilePolicy).
#include "engine/CompileJob.h"

#include "engine/FilePolicy.h"
#include "engine/Masks.h"
#include "engine/SearchRun.h"
#include "media/AudioTags.h"
#include "model/MessageText.h"

#include <fcntl.h>

const char* const FinishedCompilingMessage = "Finished compiling playlist.";

CompileJob MakeCompileJob(const WizardSettings& Settings) {
    CompileJob Job;
    Job.Recurse = Settings.Recurse;
    Job.ThoroughID3Check = Settings.ThoroughID3Check;
    Job.IncludeTaglessFiles = Settings.IncludeTaglessFiles;
    Job.ReadOtherFormats = Settings.ReadOtherFormats;
    for (const CheckEntry& Entry : Settings.Folders)
        if (Entry.State == CheckState::Checked)
            Job.Folders.push_back(Entry.Caption);
    for (const CheckEntry& Entry : Settings.Filenames)
        if (Entry.State == CheckState::Checked)
            Job.FilenameMasks.push_back(Entry.Caption);
    Job.Criteria = SnapshotCriteria(Settings);
    Job.TagCodePage = Settings.TagCodePage;
    Job.RemovedPaths = Settings.RemovedPaths;
    Job.AddedPaths = Settings.AddedPaths;
    return Job;
}

namespace {

struct TLeftOut {
    const NotedPaths SearchResult::*Paths;
    const char* One;
    const char* Many;
    const char* What;
};

const TLeftOut LeftOutKinds[] = {
    {&SearchResult::Unreadable, " folder", " folders", " could not be read"},
    {&SearchResult::UnreadableFiles, " file", " files", " could not be read"},
    {&SearchResult::Climbing, " link", " links", " to the search folder or above not followed"},
};

std::string LeftOutCount(const TLeftOut& Kind, std::size_t Count) {
    return std::to_string(Count) + (Count == 1 ? Kind.One : Kind.Many) + Kind.What;
}

} // namespace

std::string FinishedStatus(const SearchResult& Result) {
    std::string Status = FinishedCompilingMessage;
    for (const TLeftOut& Kind : LeftOutKinds)
        if (const NotedPaths& Paths = Result.*Kind.Paths; Paths.Count > 0)
            Status += ' ' + LeftOutCount(Kind, Paths.Count) + '.';
    return Status;
}

std::string LeftOutSummary(const SearchResult& Result) {
    std::string Line;
    for (const TLeftOut& Kind : LeftOutKinds) {
        const NotedPaths& Paths = Result.*Kind.Paths;
        if (Paths.Count == 0)
            continue;
        Line += (Line.empty() ? "" : "; ") + LeftOutCount(Kind, Paths.Count) + ": ";
        for (std::size_t I = 0; I < Paths.FirstPaths.size(); ++I)
            Line += (I ? ", " : "") + QuoteForMessage(Paths.FirstPaths[I], 200);
        if (Paths.Count > Paths.FirstPaths.size())
            Line += ", ...";
    }
    return Line;
}

bool AcceptFile(const CompileJob& Job, TFileInfo& Info, TTagDecoder& Decoder) {
    auto Matches = [&](std::size_t Index) {
        return MatchWildcard(Info.FileName, Job.FilenameMasks[Index], Decoder);
    };
    auto Read = [&] {
        return ReadTags(Info.FileName, TagSourcesOf(Job, Info.FileName), Info.MediaInfo, Decoder);
    };
    auto Facts = [&] {
        return FileFactsAt(Job, AT_FDCWD, Info.FileName.c_str(),
                           [&] { return ReadDurationMs(Info.FileName); });
    };
    return Decide(Job, Info.FileName, Info.MediaInfo, Matches, Read, Facts, Decoder,
                  Job.RecordReasons ? &Info.Reason : nullptr);
}

SearchResult RunSearch(const CompileJob& Job, const SearchHooks& Hooks,
                       const SearchReaders& Readers) {
    SearchResult Result;
    try {
        TSearchRun Run(Job, Hooks, Readers, &Result.UnreadableFiles);
        const std::function<void(TFolderEntry&)> Step = [&Run](TFolderEntry& Entry) {
            Run.HandleEntry(Entry);
        };
        try {
            for (const std::string& Folder : Job.Folders) {
                Run.CountSearchFolder();
                WalkFolder(Folder, Job.Recurse, Step, {&Result.Unreadable, &Result.Climbing});
            }
        } catch (const TSearchRun::EWalkEnds&) {
            // The entries before the malformed mask still go out, then its error.
        }
        Run.Finish();
        Run.AppendAdded();
        Run.DeliverSelection();
    } catch (const ESearchAborted&) {
        Result.Outcome = SearchOutcome::Aborted;
    } catch (const std::exception& Error) {
        Result.Outcome = SearchOutcome::Failed;
        Result.ErrorMessage = Error.what();
    } catch (...) {
        Result.Outcome = SearchOutcome::Failed;
    }
    return Result;
}

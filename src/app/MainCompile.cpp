// The Compile page: the three-state Compile button, the status line, the found
// files' hand-over into the playlist, the counts line and Save.
#include "app/Main.h"
#include "engine/CompileJob.h"
#include "engine/CompileThread.h"
#include "engine/Duplicates.h"
#include "media/AudioTags.h"
#include "panels/Dialogs.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/TextDisplay.h"
#include "playlists/PlaylistWriters.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace {
const char* const MediaPatterns =
    "*.aac *.aif *.aifc *.aiff *.au *.cda *.kar *.mid *.midi *.miz *.mp1 *.mp2 *.mp3 *.nsa *.ogg "
    "*.rmi *.snd *.voc *.wav *.wma *.flac *.oga *.opus *.m4b *.ape *.wv *.mpc *.asf *.avi *.mpeg "
    "*.mpg *.mp4 *.m2v *.m4a *.nsv *.ogm *.wmv";
const char* const AudioPatterns =
    "*.aac *.aif *.aifc *.aiff *.au *.cda *.kar *.mid *.midi *.miz *.mp1 *.mp2 *.mp3 *.nsa *.ogg "
    "*.rmi *.snd *.voc *.wav *.wma *.flac *.oga *.opus *.m4a *.m4b *.ape *.wv *.mpc";
const char* const VideoPatterns = "*.asf *.avi *.mpeg *.mpg *.mp4 *.m2v *.m4a *.nsv *.ogm *.wmv";
} // namespace

void TMainForm::ConnectCompileController() {
    controller_->ShowCompileStatus = [this](const std::string& Message) {
        ShowCompileStatus(Message);
    };
    controller_->AddFoundFile = [this](const TFileInfo& File) { AddFoundFile(File); };
    controller_->CompileTerminated = [this] { CompileTerminated(); };
    controller_->CompileFailed = [this](const std::string& Message) { CompileFailed(Message); };

    // The list says when its entries or check states change, whoever changed
    // them (a command, a click on a check box, the worker, a sort): the counts
    // line follows those signals only.
    const auto listChanged = [this] {
        playlistChanged_ = true;
        UpdatePlaylistCheckCount();
    };
    connect(Playlist, &TCheckList::CheckStateChanged, this, listChanged);
    connect(Playlist, &TCheckList::EntriesChanged, this, listChanged);
}

bool TMainForm::CompileExists() const {
    return controller_ && controller_->CompileExists();
}

bool TMainForm::CompileRunning() const {
    return controller_ && controller_->CompileRunning();
}

void TMainForm::SetCompileState(TCompileState State) {
    compileState_ = State;
    switch (State) {
    case TCompileState::Idle:
        Compile->setText("Compile");
        break;
    case TCompileState::Running:
        Compile->setText("Stop");
        break;
    case TCompileState::Paused:
        Compile->setText("Resume");
        break;
    }
}

void TMainForm::SetStatusColour(bool Red) {
    QPalette ink = CompileStatus->palette();
    ink.setColor(QPalette::WindowText,
                 Red ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::WindowText));
    CompileStatus->setPalette(ink);
}

void TMainForm::CompileClick() {
    try {
        switch (compileState_) {
        case TCompileState::Idle: {
            // A new compile empties the list.
            if (!ConfirmDiscard(false))
                return;
            SetCompileState(TCompileState::Running);
            CompileJob job = MakeCompileJob(CurrentSettings());
            compileCriteria_ = job.Criteria;
            Playlist->Clear();
            controller_->StartCompile(std::move(job));
            BuildAddFilesFilter();
            break;
        }
        case TCompileState::Running:
            controller_->PauseCompile();
            SetCompileState(TCompileState::Paused);
            SetStatusColour(true);
            break;
        case TCompileState::Paused:
            controller_->ResumeCompile();
            SetCompileState(TCompileState::Running);
            SetStatusColour(false);
            break;
        }
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TMainForm::ShowCompileStatus(const std::string& Message) {
    CompileStatus->setText(DisplayPath(Message));
    SetStatusColour(false);
}

void TMainForm::AddFoundFile(const TFileInfo& File) {
    const int row = Playlist->AddMediaEntry(File.FileName, File.MediaInfo, true,
                                            ReasonText(File.Reason, compileCriteria_));
    Playlist->SetEntryValue(row, File.Size);
}

void TMainForm::CompileFailed(const std::string& Message) {
    const QString text = DisplayText(Message);
    CompileStatus->setText(text);
    SetStatusColour(true);
    Dialogs().ErrorMessage(this, text);
}

void TMainForm::CompileTerminated() {
    SetCompileState(TCompileState::Idle);
}

void TMainForm::UpdatePlaylistCheckCount() {
    const int checked = Playlist->CheckedCount();
    const int total = Playlist->Count();
    // The list hands over one file at a time; only a change of the figures
    // rewrites the line.
    if (checked == shownChecked_ && total == shownTotal_)
        return;
    shownChecked_ = checked;
    shownTotal_ = total;
    PlaylistCheckCount->setText(QString::asprintf(
        "%d media files included in playlist / %d total media files", checked, total));
}

void TMainForm::BuildAddFilesFilter() {
    QStringList masks;
    for (const CheckEntry& entry : Filenames->CheckEntries())
        if (entry.State == CheckState::Checked)
            masks << DisplayText(entry.Caption);
    Playlist->SetFileFilter(QString("User-specified files (%1);;All media files (%2);;Audio files "
                                    "(%3);;Video files (%4);;All files (*)")
                                .arg(masks.join(' '), MediaPatterns, AudioPatterns, VideoPatterns));
}

void TMainForm::ProvideMediaInfo(const std::string& Path, TMediaInfo& Info) {
    // Read in the code page the Options page shows, like the compile.
    const std::string codePage = TagCodePage->currentData().toString().toStdString();
    if (!ReadTags(Path, TagSourcesFor(Path, ReadOtherFormats->isChecked()), Info,
                  ThreadTagDecoder(codePage)))
        Info = TMediaInfo{};
}

bool TMainForm::PlaylistUnsaved() const {
    return playlistChanged_ && Playlist->Count() > 0;
}

bool TMainForm::ConfirmDiscard(bool OfferSave) {
    if (!PlaylistUnsaved())
        return true;
    switch (Dialogs().AskDiscard(this, "Discard the compiled playlist?", OfferSave)) {
    case TDiscardAnswer::Save:
        return SavePlaylist();
    case TDiscardAnswer::Discard:
        return true;
    case TDiscardAnswer::Cancel:
        break;
    }
    return false;
}

void TMainForm::SaveClick() {
    SavePlaylist();
}

void TMainForm::RemoveDuplicatesClick() {
    const TCheckListModel& model = *Playlist->Model();
    std::vector<std::string> paths;
    paths.reserve(model.Count());
    for (int row = 0; row < model.Count(); ++row)
        paths.push_back(model.Caption(row));
    const std::vector<std::size_t> repeats = DuplicateRows(paths);
    if (!repeats.empty()) {
        Playlist->RemoveEntries(std::vector<int>(repeats.begin(), repeats.end()));
        playlistChanged_ = true;
    }
    ShowCompileStatus(RemovedDuplicatesText(repeats.size()));
}

bool TMainForm::SavePlaylist() {
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = "Save Playlist";
    request.Filter = "M3U playlist (*.m3u);;PLS playlist (*.pls);;M3U8 playlist, UTF-8 (*.m3u8);;"
                     "All files (*)";
    request.DefaultSuffix = "m3u";
    request.FilterIndex = 0;
    request.Directory = DialogFolder(TDialogFolder::Playlist);
    request.PlaylistOptions = true;
    request.RelativePaths = relativePlaylistPaths_;
    request.ExtendedPlaylist = extendedPlaylist_;
    if (!Dialogs().SaveFile(request))
        return false;
    relativePlaylistPaths_ = request.RelativePaths;
    extendedPlaylist_ = request.ExtendedPlaylist;
    const QString shownName = DisplayPath(request.FileName);
    RememberDialogFolder(TDialogFolder::Playlist, QFileInfo(shownName).absolutePath());
    const TCheckListModel& model = *Playlist->Model();
    std::vector<TPlaylistEntry> entries;
    for (int row = 0; row < model.Count(); ++row) {
        if (model.State(row) != CheckedIndex)
            continue;
        // Lengths are read only for the extended lines, which show them.
        std::string path = model.Caption(row);
        const std::int64_t length = extendedPlaylist_ ? ReadDurationMs(path) : -1;
        entries.push_back({std::move(path), std::string(model.ColumnText(row, 2)),
                           std::string(model.ColumnText(row, 1)), length});
    }
    TPlaylistOptions options;
    options.Paths = relativePlaylistPaths_ ? PlaylistPaths::Relative : PlaylistPaths::Absolute;
    options.Extended = extendedPlaylist_;
    try {
        const std::size_t leftAbsolute = WritePlaylist(request.FileName, std::move(entries),
                                                       PlaylistFormatOf(request.FileName), options);
        if (leftAbsolute > 0)
            ShowCompileStatus(LeftAbsoluteText(leftAbsolute));
    } catch (const EPlaylistWriteError& error) {
        // The writer's message already names the file and the cause.
        Dialogs().ErrorMessage(this, QString("The playlist could not be saved.\n\n%1")
                                         .arg(QString::fromLocal8Bit(error.what())));
        return false;
    } catch (const std::exception& error) {
        Dialogs().ErrorMessage(this, QString("The playlist could not be saved to \"%1\".\n\n%2")
                                         .arg(shownName, QString::fromLocal8Bit(error.what())));
        return false;
    }
    playlistChanged_ = false;
    return true;
}

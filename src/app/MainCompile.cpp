// The Compile page: the three-state Compile button, the status line, the found
// files' hand-over into the playlist, the counts line and Save.
#include "app/Main.h"
#include "app/OutputTargets.h"
#include "engine/CompileJob.h"
#include "engine/CompileThread.h"
#include "engine/Duplicates.h"
#include "engine/FilePolicy.h"
#include "engine/LengthReader.h"
#include "index/IndexedReads.h"
#include "media/AudioTags.h"
#include "panels/Dialogs.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/ListLengths.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/TextDisplay.h"
#include "playlists/PlaylistWriters.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {
// How often a running compile rewrites the counts line and the status line.
constexpr int CompileLinesMilliseconds = 250;
} // namespace

namespace {
// Put before the status line's text while a compile is paused.
const QString PausedStatusPrefix = QStringLiteral("Paused: ");
} // namespace

std::string SavedPlaylistText(std::size_t Entries, const std::string& FileName) {
    return "Saved " + std::to_string(Entries) + (Entries == 1 ? " entry" : " entries") + " to " +
           FileName + ".";
}

void TMainForm::ConnectCompileController() {
    // A compile hands its files over in batches: each file goes into the list
    // without a word, and the batch reaches the view as one insertion. The
    // status shown is the latest one, a few times a second.
    controller_->ShowCompileStatus = [this](const std::string& Message) {
        pendingStatus_ = Message;
        statusPending_ = true;
    };
    controller_->AddFoundFile = [this](const TFileInfo& File) {
        Playlist->SetBulkAppend(true);
        AddFoundFile(File);
    };
    controller_->AddDroppedFile = [this](const TFileInfo& File) {
        Playlist->SetBulkAppend(true);
        AddDroppedFile(File);
    };
    controller_->HandOversDelivered = [this] {
        Playlist->SetBulkAppend(false);
        ScheduleCompileLines();
    };
    controller_->CompileTerminated = [this] { CompileTerminated(); };
    controller_->CompileFailed = [this](const std::string& Message) { CompileFailed(Message); };
    compileLinesTimer_ = new QTimer(this);
    compileLinesTimer_->setSingleShot(true);
    compileLinesTimer_->setInterval(CompileLinesMilliseconds);
    connect(compileLinesTimer_, &QTimer::timeout, this, [this] {
        if (compileLinesPending_)
            RefreshCompileLines();
    });

    // The list says when its entries or check states change, whoever changed
    // them (a command, a click on a check box, the worker, a sort): the counts
    // line follows those signals only, a few times a second while a compile runs.
    const auto listChanged = [this] {
        playlistChanged_ = true;
        if (CompileExists())
            ScheduleCompileLines();
        else
            UpdatePlaylistCheckCount();
    };
    connect(Playlist, &TCheckList::CheckStateChanged, this, listChanged);
    connect(Playlist, &TCheckList::EntriesChanged, this, listChanged);
    // Lengths change the total, not the list.
    connect(Playlist, &TMediaFileCheckList::LengthsArrived, this,
            [this] { UpdatePlaylistCheckCount(); });
}

void TMainForm::ScheduleCompileLines() {
    if (compileLinesTimer_->isActive()) {
        compileLinesPending_ = true;
        return;
    }
    RefreshCompileLines();
}

void TMainForm::RefreshCompileLines() {
    compileLinesPending_ = false;
    compileLinesTimer_->start();
    UpdatePlaylistCheckCount();
    if (statusPending_) {
        statusPending_ = false;
        ShowCompileStatus(pendingStatus_);
    }
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
            NoteCompileStarted();
            CompileJob job = MakeCompileJob(CurrentSettings());
            job.CollationLocale = SystemCollationLocale();
            compileCriteria_ = job.Criteria;
            Playlist->Clear();
            // The run, the Length column and Save's lengths share this compile's index.
            const std::shared_ptr<TTagIndex> index = TagIndex();
            controller_->Readers.Index = index;
            Playlist->SetLengthRead([index](const std::string& path) {
                return ReadDurationRemembered(index.get(), path);
            });
            statusPending_ = false;
            Folders->MarkMissingFolders();
            missingFolders_ = Folders->MissingCheckedFolders();
            controller_->StartCompile(std::move(job));
            BuildAddFilesFilter();
            break;
        }
        case TCompileState::Running:
            controller_->PauseCompile();
            SetCompileState(TCompileState::Paused);
            CompileStatus->setText(PausedStatusPrefix + CompileStatus->text());
            SetStatusColour(true);
            break;
        case TCompileState::Paused:
            controller_->ResumeCompile();
            SetCompileState(TCompileState::Running);
            if (CompileStatus->text().startsWith(PausedStatusPrefix))
                CompileStatus->setText(CompileStatus->text().mid(PausedStatusPrefix.size()));
            SetStatusColour(false);
            break;
        }
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TMainForm::ShowCompileStatus(const std::string& Message) {
    QString text = DisplayPath(Message);
    // A warning of the index during the run stays after its last status.
    if (!tagIndexWarning_.isEmpty() && Message.starts_with(FinishedCompilingMessage)) {
        text += "  " + tagIndexWarning_;
        tagIndexWarning_.clear();
    }
    // A status that arrives while paused (the last hand-over) keeps the word.
    const bool paused = compileState_ == TCompileState::Paused;
    CompileStatus->setText(paused ? PausedStatusPrefix + text : text);
    SetStatusColour(paused);
}

std::shared_ptr<TTagIndex> TMainForm::TagIndex() {
    if (tagIndexDisabled_ || !RememberTags->isChecked())
        return nullptr;
    if (!tagIndex_) {
        // Warnings may come from the index's own thread, and after the window
        // is gone (a compile let go at exit still holds the index).
        const QPointer<TMainForm> window(this);
        tagIndex_ = std::make_shared<TTagIndex>(
            TTagIndex::DefaultPath(), [window](const std::string& line) {
                QMetaObject::invokeMethod(
                    qApp,
                    [window, line] {
                        if (window)
                            window->TagIndexWarning(DisplayText(line));
                    },
                    Qt::QueuedConnection);
            });
    }
    return tagIndex_;
}

void TMainForm::TagIndexWarning(const QString& Line) {
    if (CompileExists()) {
        tagIndexWarning_ = Line;
        return;
    }
    CompileStatus->setText(Line);
    SetStatusColour(false);
}

void TMainForm::ForgetTagsClick() {
    if (tagIndexDisabled_)
        return;
    // With the option off the index is opened just for this, and closed again.
    std::shared_ptr<TTagIndex> index = tagIndex_;
    if (!index) {
        const bool remember = RememberTags->isChecked();
        RememberTags->setChecked(true);
        index = TagIndex();
        tagIndex_.reset();
        RememberTags->setChecked(remember);
    }
    index->Forget();
}

void TMainForm::AddFoundFile(const TFileInfo& File) {
    NoteCompiledFile(File);
    const int row = Playlist->AddMediaEntry(File.FileName, File.MediaInfo, true,
                                            ReasonText(File.Reason, compileCriteria_));
    Playlist->SetEntryValue(row, File.Size);
}

void TMainForm::AddDroppedFile(const TFileInfo& File) {
    NoteCompiledFile(File);
    Playlist->AddDroppedEntry(File.FileName, File.MediaInfo,
                              ReasonText(File.Reason, compileCriteria_));
}

void TMainForm::CompileFailed(const std::string& Message) {
    NoteCompileEnded(false);
    const QString text = DisplayText(Message);
    CompileStatus->setText(text);
    SetStatusColour(true);
    Dialogs().ErrorMessage(this, text);
}

void TMainForm::CompileTerminated() {
    Playlist->SetBulkAppend(false);
    RefreshCompileLines();
    SetCompileState(TCompileState::Idle);
    NoteCompileEnded(true);
    // The compile skipped them; the status line says so after its last word.
    if (!missingFolders_.empty()) {
        QStringList names;
        for (const std::string& folder : missingFolders_)
            names << DisplayPath(folder);
        CompileStatus->setText(CompileStatus->text() + QStringLiteral(" Not found, skipped: ") +
                               names.join(QStringLiteral(", ")));
    }
    StoreSettings(false);
}

void TMainForm::UpdatePlaylistCheckCount() {
    const TCheckListModel& model = *Playlist->Model();
    const int checked = model.CheckedCount();
    // Dropped files are shown for their reasons; they are not media files of the playlist.
    const int total = model.Count() - model.DroppedCount();
    // The total of the lengths known so far: it grows as they come in, and is
    // left out while no checked file has a known length.
    const QString length =
        model.CheckedWithLength() > 0
            ? QString::fromStdString(FormatTotalLength(model.CheckedSeconds() * 1000))
            : QString();
    // Only a change of the figures rewrites the line.
    if (checked == shownChecked_ && total == shownTotal_ && length == shownLength_)
        return;
    shownChecked_ = checked;
    shownTotal_ = total;
    shownLength_ = length;
    QString text = QString::asprintf("%d media files included in playlist / %d total media files",
                                     checked, total);
    if (!length.isEmpty())
        text += QString::fromUtf8(" \u2014 ") + length;
    PlaylistCheckCount->setText(text);
}

void TMainForm::BuildAddFilesFilter() {
    const TAddFilesPatterns& patterns = AddFilesPatterns();
    QStringList masks;
    for (const CheckEntry& entry : Filenames->CheckEntries())
        if (entry.State == CheckState::Checked)
            masks << DisplayText(entry.Caption);
    Playlist->SetFileFilter(
        QString("User-specified files (%1);;All media files (%2);;Audio files "
                "(%3);;Video files (%4);;All files (*)")
            .arg(masks.join(' '), patterns.Media, patterns.Audio, patterns.Video));
}

void TMainForm::ProvideMediaInfo(const std::string& Path, TMediaInfo& Info) {
    // Read in the code page the Options page shows, like the compile.
    const WizardSettings settings = CurrentSettings();
    if (!ReadTagsRemembered(TagIndex().get(), Path,
                            HandAddedTagSources(Path, settings.ReadOtherFormats),
                            settings.TagCodePage, settings.ReadOtherFormats, Info,
                            ThreadTagDecoder(settings.TagCodePage)))
        Info = TMediaInfo{};
}

bool TMainForm::PlaylistUnsaved() const {
    return playlistChanged_ && Playlist->Count() - Playlist->Model()->DroppedCount() > 0;
}

bool TMainForm::ConfirmDiscard(bool OfferSave) {
    if (!PlaylistUnsaved())
        return true;
    switch (Dialogs().AskDiscard(this, "Discard the compiled playlist?", OfferSave)) {
    case TDiscardAnswer::Save:
        return SavePlaylist();
    case TDiscardAnswer::Discard:
        // What was done to the list goes with it: it never becomes the
        // search's removed and added files.
        pruneCompileComplete_ = false;
        return true;
    case TDiscardAnswer::Cancel:
        break;
    }
    return false;
}

void TMainForm::SaveClick() {
    SavePlaylist();
}

// Dropped rows are compared only among themselves: a dropped row never keeps
// a found one of the same file out, and a folder searched twice shows its
// dropped files once, as it does its found ones.
void TMainForm::RemoveDuplicatesClick() {
    const TCheckListModel& model = *Playlist->Model();
    std::vector<int> removed;
    // The count is of the playlist's files; repeats among the dropped rows
    // shown beside them go too, and are named apart.
    std::size_t foundRemoved = 0;
    for (const bool dropped : {false, true}) {
        std::vector<int> rows;
        std::vector<std::string> paths;
        for (int row = 0; row < model.Count(); ++row)
            if (model.Dropped(row) == dropped) {
                rows.push_back(row);
                paths.push_back(model.Caption(row));
            }
        for (const std::size_t repeat : DuplicateRows(paths))
            removed.push_back(rows[repeat]);
        if (!dropped)
            foundRemoved = removed.size();
    }
    std::sort(removed.begin(), removed.end());
    if (!removed.empty()) {
        Playlist->RemoveEntries(removed);
        playlistChanged_ = true;
    }
    std::string status = RemovedDuplicatesText(foundRemoved);
    if (const std::size_t droppedRemoved = removed.size() - foundRemoved; droppedRemoved > 0)
        status += " Repeated dropped files removed: " + std::to_string(droppedRemoved) + ".";
    ShowCompileStatus(status);
}

bool TMainForm::SavePlaylist() {
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = "Save Playlist";
    request.Filter = "M3U playlist (*.m3u);;PLS playlist (*.pls);;M3U8 playlist, UTF-8 (*.m3u8);;"
                     "All files (*)";
    request.DefaultSuffix = "m3u";
    request.FilterIndex = playlistFileType_;
    request.Directory = DialogFolder(TDialogFolder::Playlist);
    request.PlaylistOptions = true;
    request.RelativePaths = relativePlaylistPaths_;
    request.ExtendedPlaylist = extendedPlaylist_;
    request.RootPaths = searchValues_.PlaylistPathsName == "root";
    request.Root = searchValues_.PlaylistRoot;
    if (!Dialogs().SaveFile(request))
        return false;
    if (request.RootPaths)
        searchValues_.PlaylistRoot = request.Root;
    relativePlaylistPaths_ = request.RelativePaths;
    extendedPlaylist_ = request.ExtendedPlaylist;
    const QString shownName = DisplayPath(request.FileName);
    // The settings file is never written over; a file that is no playlist, or
    // that the filename masks select, only when the user says so.
    const std::string clash =
        TargetIsSettingsFile(request.FileName, TOutputKind::Playlist, settingsFile_);
    if (!clash.empty()) {
        Dialogs().ErrorMessage(
            this,
            QString("The playlist could not be saved.\n\n%1").arg(QString::fromStdString(clash)));
        return false;
    }
    std::vector<std::string> masks;
    for (const CheckEntry& entry : CurrentSettings().Filenames)
        if (entry.State == CheckState::Checked)
            masks.push_back(entry.Caption);
    const std::string foreign = TargetIsForeign(request.FileName, TOutputKind::Playlist, masks);
    if (!foreign.empty() &&
        !Dialogs().Question(this, "Save Playlist",
                            QString("\"%1\" is not a playlist file to replace: %2.\n\n"
                                    "Replace it with the playlist?")
                                .arg(shownName, QString::fromStdString(foreign))))
        return false;
    const TCheckListModel& model = *Playlist->Model();
    std::vector<TPlaylistEntry> entries;
    std::vector<int> rows;
    for (int row = 0; row < model.Count(); ++row) {
        if (!model.State(row).Checked())
            continue;
        entries.push_back({model.Caption(row), std::string(model.ColumnText(row, 2)),
                           std::string(model.ColumnText(row, 1)), -1});
        rows.push_back(row);
    }
    // The search asks for one entry per file.
    if (searchValues_.PlaylistUnique) {
        std::vector<std::string> paths;
        for (const TPlaylistEntry& entry : entries)
            paths.push_back(entry.Path);
        const std::vector<std::size_t> repeats = DuplicateRows(paths);
        RemoveRows(entries, repeats);
        RemoveRows(rows, repeats);
    }
    // Lengths only for the extended lines, which show them.
    if (extendedPlaylist_) {
        std::vector<std::int64_t> lengths;
        if (!PlaylistLengths(rows, lengths))
            return false;
        for (std::size_t k = 0; k < entries.size(); ++k)
            entries[k].DurationMs = lengths[k];
    }
    TPlaylistOptions options;
    options.Paths = relativePlaylistPaths_ ? PlaylistPaths::Relative : PlaylistPaths::Absolute;
    options.Extended = extendedPlaylist_;
    if (request.RootPaths) {
        options.Paths = PlaylistPaths::Root;
        options.Root = request.Root;
    }
    try {
        const std::size_t written = entries.size();
        const std::size_t leftAbsolute = WritePlaylist(request.FileName, std::move(entries),
                                                       PlaylistFormatOf(request.FileName), options);
        std::string status = SavedPlaylistText(written, request.FileName);
        if (leftAbsolute > 0)
            status += " " + LeftAbsoluteText(leftAbsolute);
        ShowCompileStatus(status);
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
    // Only a folder a playlist went into is where the next save starts.
    RememberDialogFolder(TDialogFolder::Playlist, QFileInfo(shownName).absolutePath());
    playlistFileType_ = request.FilterIndex;
    NotePlaylistSaved(request.FileName, PlaylistFormatOf(request.FileName), options);
    return true;
}

bool TMainForm::PlaylistLengths(const std::vector<int>& Rows,
                                std::vector<std::int64_t>& Milliseconds) {
    const TCheckListModel& model = *Playlist->Model();
    Milliseconds.assign(Rows.size(), -1);
    std::vector<std::size_t> unread;
    for (std::size_t k = 0; k < Rows.size(); ++k) {
        const std::int32_t seconds = model.Length(Rows[k]);
        if (seconds >= 0)
            Milliseconds[k] = std::int64_t{seconds} * 1000;
        else if (seconds == LengthNotRead)
            unread.push_back(k);
    }
    if (unread.empty())
        return true;

    // The rest are read as the list reads them, on a thread of their own; the
    // box shows itself only when that takes a while. The list may change
    // meanwhile (a compile still running): the entries were copied already.
    QProgressDialog progress(QStringLiteral("Reading the lengths of the files..."),
                             QStringLiteral("Cancel"), 0, static_cast<int>(unread.size()), this);
    progress.setWindowTitle(QStringLiteral("Save Playlist"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setValue(0); // starts the clock of the minimum duration
    QEventLoop loop;
    TLengthInbox inbox;
    std::size_t read = 0;
    const auto take = [&] {
        const TLengthInbox::TResults results = inbox.TakeAll();
        for (const auto& [k, length] : results)
            Milliseconds[k] = length;
        read += results.size();
        if (read >= unread.size())
            loop.quit();
        else if (!results.empty())
            progress.setValue(static_cast<int>(read));
    };
    connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    {
        TLengthReader reader(inbox.Filer(&loop, take), Playlist->LengthRead());
        for (const std::size_t k : unread)
            reader.Request(k, model.Caption(Rows[k]));
        loop.exec();
        // The reader stops here, before what its reports go into.
    }
    return read >= unread.size();
}

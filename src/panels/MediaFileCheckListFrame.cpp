// The playlist panel: media rows, file-type icons, sorting and preview.
#include "panels/MediaFileCheckListFrame.h"
#include "panels/CheckListView.h"
#include "panels/Dialogs.h"
#include "panels/PanelIcons.h"
#include "panels/TextDisplay.h"

#include <QAction>
#include <QEvent>
#include <QFileIconProvider>
#include <QHeaderView>

#include <algorithm>
#include <memory>
#include <string_view>

namespace {
std::array<std::string, ListTextColumns> ColumnsOf(const TMediaInfo& Info) {
    return {Info.Title, Info.Artist, Info.Album, Info.Genre, Info.Year, Info.Track};
}

constexpr int TrackColumn = 6;

// The Track column sorts by the track number (0 without one): two bytes that
// compare as the number does, with no zero byte.
void AppendTrackKey(std::string_view Text, std::string& Key) {
    const int number = ParseTrackText(std::string(Text)).TrackNumber;
    Key += static_cast<char>(1 + (number >> 7));
    Key += static_cast<char>(1 + (number & 0x7F));
}

// The extension of the path's file name, dot included, in lower case; empty without a dot.
std::string LowerExtension(const std::string& Path) {
    const size_t nameStart = Path.find_last_of('/');
    const size_t dot = Path.find_last_of('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart))
        return {};
    std::string extension = Path.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

constexpr int FilenameWidth = 300;
} // namespace

TMediaFileCheckList::TMediaFileCheckList(const QString& Name, QWidget* Parent)
    : TFileCheckList(Name, Parent) {
    SetColumnHeaders({QStringLiteral("Filename"), QStringLiteral("Title"), QStringLiteral("Artist"),
                      QStringLiteral("Album"), QStringLiteral("Genre"), QStringLiteral("Year"),
                      QStringLiteral("Track"), QStringLiteral("Why")},
                     {FilenameWidth, 100, 100, 100, 70, 36, 40, 300});
    TListDisplayPolicy display = Model()->Display();
    display.NoteColumn = TrackColumn + 1;
    display.NoteText = [reasons = reasons_](std::uint32_t Note) {
        return Note < reasons->size() ? (*reasons)[Note] : QString();
    };
    Model()->SetDisplay(std::move(display));
    View()->setHeaderHidden(false);
    View()->header()->setSectionsClickable(true);
    View()->header()->setSortIndicatorShown(false);
    // The Filename column takes the room a wider list has beyond its columns.
    View()->viewport()->installEventFilter(this);

    QAction* play = MakeCommand(TListCommand::Play, QStringLiteral("Play"),
                                QKeySequence(Qt::CTRL | Qt::Key_P), PanelIcon(TPanelIcon::Play));
    QAction* stop = MakeCommand(TListCommand::Stop, QStringLiteral("Stop"),
                                QKeySequence(Qt::CTRL | Qt::Key_S), PanelIcon(TPanelIcon::Stop));
    play->setEnabled(false);
    stop->setEnabled(false);
    AddCommandGroup({play, stop});

    // Every text gets its sort key when it first arrives, so that a click on a
    // header of a million rows only sorts numbers.
    collation_ = std::make_shared<const TCollation>(TCollation::SystemLocale());
    const std::shared_ptr<const TCollation> collation = collation_;
    auto text = [collation](std::string_view Text, std::string& Key) {
        collation->AppendKey(Text, Key);
    };
    Model()->SetCaptionKeyMakers(
        [collation](std::string_view Folder, std::string& Key) {
            collation->AppendPathKey(Folder, Key);
        },
        text);
    for (int column = 1; column < TrackColumn; ++column)
        Model()->SetColumnKeyMaker(column, text);
    Model()->SetColumnKeyMaker(TrackColumn, AppendTrackKey);
}

TMediaFileCheckList::~TMediaFileCheckList() = default;

void TMediaFileCheckList::SetPreviewPlayer(std::unique_ptr<TPreviewPlayer> Player) {
    player_ = std::move(Player);
    if (!player_)
        return;
    connect(player_.get(), &TPreviewPlayer::PlaybackEnded, this,
            &TMediaFileCheckList::MediaPlayerNotify);
    connect(player_.get(), &TPreviewPlayer::Failed, this,
            [this](const std::string& FileName, const QString& Reason) {
                if (FileName == attemptFile_)
                    ReportPlayFailure(FileName, Reason);
            });
}

bool TMediaFileCheckList::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::Resize && Watched == View()->viewport()) {
        QHeaderView* header = View()->header();
        int others = 0;
        for (int column = 1; column < header->count(); ++column)
            others += header->sectionSize(column);
        header->resizeSection(0, std::max(FilenameWidth, View()->viewport()->width() - others));
    }
    return TFileCheckList::eventFilter(Watched, Event);
}

QString TMediaFileCheckList::WhyText(int Row) const {
    const std::uint32_t note = Model()->Note(Row);
    return note < reasons_->size() ? (*reasons_)[note] : QString();
}

int TMediaFileCheckList::AddMediaEntry(const std::string& Path, const TMediaInfo& Info,
                                       bool Checked, const std::string& Why) {
    Model()->Append(Path, {Info.Title, Info.Artist, Info.Album, Info.Genre, Info.Year, Info.Track},
                    Checked ? CheckedIndex : UncheckedIndex, FileIconIndex(Path));
    if (!Why.empty()) {
        auto [id, added] =
            reasonIds_.try_emplace(Why, static_cast<std::uint32_t>(reasons_->size()));
        if (added)
            reasons_->push_back(DisplayText(Why));
        Model()->SetNote(Count() - 1, id->second);
    }
    emit EntriesChanged();
    return Count() - 1;
}

int TMediaFileCheckList::FileIconIndex(const std::string& Path) {
    const std::string extension = LowerExtension(Path);
    const auto cached = std::find(extensions_.begin(), extensions_.end(), extension);
    if (cached != extensions_.end())
        return static_cast<int>(cached - extensions_.begin());
    QIcon icon;
    if (Path.empty()) {
        icon = PanelIcon(TPanelIcon::UnknownFile);
    } else {
        QFileIconProvider provider;
        icon = provider.icon(QFileInfo(DisplayPath(Path)));
        if (icon.isNull())
            icon = PanelIcon(TPanelIcon::Application);
    }
    extensions_.push_back(extension);
    return Model()->AddEntryIcon(icon);
}

void TMediaFileCheckList::ListColumnClick(int Column) {
    if (Column < 0 || Column > TrackColumn)
        return;
    sortAscending_ = Column == sortColumn_ ? !sortAscending_ : true;
    sortColumn_ = Column;
    Model()->Flush();
    Model()->ApplyOrder(Model()->ColumnOrder(Column, sortAscending_));
    View()->header()->setSortIndicatorShown(true);
    View()->header()->setSortIndicator(Column,
                                       sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit EntriesChanged();
}

void TMediaFileCheckList::AddExecute() {
    const int before = Count();
    TFileCheckList::AddExecute();
    if (Count() <= before)
        return;
    const std::string path = Model()->Caption(before);
    TMediaInfo info;
    if (provider_)
        provider_(path, info);
    Model()->SetIconIndex(before, FileIconIndex(path));
    Model()->SetColumns(before, ColumnsOf(info));
}

void TMediaFileCheckList::ListChange() {
    TFileCheckList::ListChange();
    Action(TListCommand::Play)->setEnabled(SelectedIndex() >= 0);
}

void TMediaFileCheckList::ListDblClick() {
    if (SelectedIndex() >= 0)
        Run(TListCommand::Play);
}

void TMediaFileCheckList::PlayExecute() {
    const int selected = SelectedIndex();
    if (selected < 0)
        return;
    // The media service is opened on the first preview, not with every window.
    if (!player_)
        SetPreviewPlayer(MakeMediaPreviewPlayer());
    if (!player_->HasAudioOutput()) {
        // Said once: every later Play would only repeat it.
        if (!noAudioOutputSaid_)
            Dialogs().ErrorMessage(this, QStringLiteral("No audio output device was found, so "
                                                        "media files cannot be previewed."));
        noAudioOutputSaid_ = true;
        return;
    }
    attemptFile_ = Model()->Caption(selected);
    attemptReported_ = false;
    QString reason;
    if (!player_->Open(attemptFile_, reason)) {
        ReportPlayFailure(attemptFile_, reason);
        return;
    }
    player_->Play(); // a start that fails still leaves Stop to the user
    Action(TListCommand::Stop)->setEnabled(true);
    ++pendingPreviews_;
}

void TMediaFileCheckList::ReportPlayFailure(const std::string& FileName, const QString& Reason) {
    if (attemptReported_)
        return;
    attemptReported_ = true;
    Dialogs().ErrorMessage(
        this, QStringLiteral("Cannot play \"%1\": %2.").arg(DisplayPath(FileName), Reason));
}

void TMediaFileCheckList::StopExecute() {
    if (player_)
        player_->Stop();
    // Never below zero: a service may also report the end of a playback Stop cut short.
    pendingPreviews_ = std::max(0, pendingPreviews_ - 1);
    Action(TListCommand::Stop)->setEnabled(false);
}

void TMediaFileCheckList::MediaPlayerNotify() {
    const int before = pendingPreviews_;
    pendingPreviews_ = std::max(0, pendingPreviews_ - 1);
    if (before == 1)
        Action(TListCommand::Stop)->setEnabled(false);
}

void TMediaFileCheckList::Execute(TListCommand Command) {
    switch (Command) {
    case TListCommand::Play:
        PlayExecute();
        break;
    case TListCommand::Stop:
        StopExecute();
        break;
    default:
        TFileCheckList::Execute(Command);
        break;
    }
}

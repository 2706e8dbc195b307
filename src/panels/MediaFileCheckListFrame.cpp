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
#include <string_view>

namespace {
std::array<std::string, 6> ColumnsOf(const TMediaInfo& Info) {
    return {Info.Title, Info.Artist, Info.Album, Info.Genre, Info.Year, Info.Track};
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

int CompareBytes(const std::string& A, const std::string& B) {
    // std::string compares as unsigned bytes: by character code, capitals first.
    const int result = A.compare(B);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}
} // namespace

TMediaFileCheckList::TMediaFileCheckList(const QString& Name, QWidget* Parent)
    : TFileCheckList(Name, Parent) {
    SetColumnHeaders({QStringLiteral("Filename"), QStringLiteral("Title"), QStringLiteral("Artist"),
                      QStringLiteral("Album"), QStringLiteral("Genre"), QStringLiteral("Year"),
                      QStringLiteral("Track")},
                     {FilenameWidth, 100, 100, 100, 70, 36, 40});
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

int TMediaFileCheckList::AddMediaEntry(const std::string& Path, const TMediaInfo& Info,
                                       bool Checked) {
    TCheckListEntry entry;
    entry.Caption = Path;
    entry.State = Checked ? CheckedIndex : UncheckedIndex;
    entry.Columns = ColumnsOf(Info);
    entry.IconIndex = FileIconIndex(Path);
    Model()->Append(std::move(entry));
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

int TMediaFileCheckList::ListCompare(const TCheckListEntry& A, const TCheckListEntry& B) const {
    const TCheckListEntry& first = sortAscending_ ? A : B;
    const TCheckListEntry& second = sortAscending_ ? B : A;
    if (sortColumn_ == 0)
        return CompareBytes(first.Caption, second.Caption);
    if (sortColumn_ == 6) {
        const int a = ParseTrackText(first.Columns[5]).TrackNumber;
        const int b = ParseTrackText(second.Columns[5]).TrackNumber;
        return a < b ? -1 : (a > b ? 1 : 0);
    }
    return CompareBytes(first.Columns[sortColumn_ - 1], second.Columns[sortColumn_ - 1]);
}

void TMediaFileCheckList::ListColumnClick(int Column) {
    if (Column < 0 || Column > 6)
        return;
    sortAscending_ = Column == sortColumn_ ? !sortAscending_ : true;
    sortColumn_ = Column;
    Model()->Flush();
    const std::vector<TCheckListEntry>& entries = Entries();
    const int count = static_cast<int>(entries.size());
    const bool ascending = sortAscending_;
    // Keys are taken once per entry and sorted as a compact array: a million rows
    // scattered over memory would otherwise be visited on every comparison.
    std::vector<int> order(count);
    if (Column == 6) {
        std::vector<std::pair<std::uint8_t, int>> keys(count);
        for (int i = 0; i < count; ++i)
            keys[i] = {ParseTrackText(entries[i].Columns[5]).TrackNumber, i};
        std::stable_sort(keys.begin(), keys.end(), [ascending](const auto& a, const auto& b) {
            return ascending ? a.first < b.first : b.first < a.first;
        });
        for (int i = 0; i < count; ++i)
            order[i] = keys[i].second;
    } else {
        std::vector<std::pair<std::string_view, int>> keys(count);
        for (int i = 0; i < count; ++i)
            keys[i] = {Column == 0 ? entries[i].Caption : entries[i].Columns[Column - 1], i};
        // string_view compares as unsigned bytes: by character code, capitals first.
        std::stable_sort(keys.begin(), keys.end(), [ascending](const auto& a, const auto& b) {
            return ascending ? a.first < b.first : b.first < a.first;
        });
        for (int i = 0; i < count; ++i)
            order[i] = keys[i].second;
    }
    Model()->ApplyOrder(order);
    View()->header()->setSortIndicatorShown(true);
    View()->header()->setSortIndicator(Column,
                                       ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit EntriesChanged();
}

void TMediaFileCheckList::AddExecute() {
    const int before = Count();
    TFileCheckList::AddExecute();
    if (Count() <= before)
        return;
    const std::string& path = Entry(before).Caption;
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
    attemptFile_ = Entry(selected).Caption;
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

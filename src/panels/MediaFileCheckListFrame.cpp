// The playlist panel: media rows, file-type icons, sorting and preview.
#include "panels/MediaFileCheckListFrame.h"
#include "files/Paths.h"
#include "panels/CheckListView.h"
#include "panels/Dialogs.h"
#include "panels/ListLengths.h"
#include "panels/PanelIcons.h"
#include "panels/TextDisplay.h"

#include <QAction>
#include <QClipboard>
#include <QEvent>
#include <QFileIconProvider>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>

#include <algorithm>
#include <memory>
#include <numeric>
#include <string_view>

namespace {
// A file's texts in the list's columns, as views into Info.
std::array<std::string_view, ListTextColumns> ColumnsOf(const TMediaInfo& Info) {
    return {Info.Title,
            Info.Artist,
            Info.Album,
            Info.Genre,
            Info.Year,
            Info.Track,
            ContentFormatName(Info.Format)};
}

constexpr int TrackColumn = 6;

// The Track column sorts by the track number (0 without one): two bytes that
// compare as the number does, with no zero byte.
void AppendTrackKey(std::string_view Text, std::string& Key) {
    const int number = ParseTrackText(std::string(Text)).TrackNumber;
    Key += static_cast<char>(1 + (number >> 7));
    Key += static_cast<char>(1 + (number & 0x7F));
}

constexpr int FilenameWidth = 300;
} // namespace

std::string SystemCollationLocale() {
    const QLocale locale = QLocale::system();
    return locale.language() == QLocale::C ? std::string() : locale.name().toStdString();
}

TMediaFileCheckList::TMediaFileCheckList(const QString& Name, QWidget* Parent)
    : TFileCheckList(Name, Parent) {
    SetColumnHeaders({QStringLiteral("Filename"), QStringLiteral("Title"), QStringLiteral("Artist"),
                      QStringLiteral("Album"), QStringLiteral("Genre"), QStringLiteral("Year"),
                      QStringLiteral("Track"), QStringLiteral("Format"), QStringLiteral("Length"),
                      QStringLiteral("Why")},
                     {FilenameWidth, 100, 100, 100, 70, 36, 40, 56, 50, 300});
    TListDisplayPolicy display = Model()->Display();
    display.NoteColumn = PlaylistWhyColumn;
    display.LengthColumn = PlaylistLengthColumn;
    display.NoteText = [reasons = reasons_](std::uint32_t Note) {
        return Note < reasons->size() ? (*reasons)[Note] : QString();
    };
    display.NoteRanks = [this] { return ReasonRanks(); };
    Model()->SetDisplay(std::move(display));
    View()->setHeaderHidden(false);
    View()->header()->setSectionsClickable(true);
    View()->header()->setSortIndicatorShown(false);
    // The Filename column takes the room a wider list has beyond its columns.
    View()->viewport()->installEventFilter(this);

    QAction* play = MakeCommand(TListCommand::Play, QStringLiteral("Play"),
                                QKeySequence(Qt::CTRL | Qt::Key_P), PanelIcon(TPanelIcon::Play));
    QAction* stop =
        MakeCommand(TListCommand::Stop, QStringLiteral("Stop"),
                    QKeySequence(Qt::CTRL | Qt::Key_Period), PanelIcon(TPanelIcon::Stop));
    play->setEnabled(false);
    stop->setEnabled(false);
    AddCommandGroup({play, stop});
    // The result list leaves Ctrl+A (select all), Ctrl+C (copy), Ctrl+I and
    // Ctrl+S (the window's Save) their usual meanings.
    Action(TListCommand::CheckAll)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    Action(TListCommand::UncheckAll)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
    Action(TListCommand::InvertChecks)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    Action(TListCommand::ShowCaptions)->setShortcut(QKeySequence());
    auto* copy = new QAction(QStringLiteral("Copy"), this);
    copy->setObjectName(QStringLiteral("CopyPaths"));
    copy->setShortcut(QKeySequence::Copy);
    connect(copy, &QAction::triggered, this, [this] { CopySelectedPaths(); });
    AddMenuCommands({copy});

    // Every text gets its sort key when it first arrives, so that a click on a
    // header of a million rows only sorts numbers.
    collation_ = std::make_shared<const TCollation>(SystemCollationLocale());
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

    lengths_ = std::make_unique<TListLengths>(*Model());
    connect(lengths_.get(), &TListLengths::LengthsArrived, this,
            &TMediaFileCheckList::LengthsArrived);
}

// The lengths' reader stops before the model it writes into goes.
TMediaFileCheckList::~TMediaFileCheckList() {
    lengths_.reset();
}

void TMediaFileCheckList::SetLengthRead(TLengthReader::TRead Read) {
    lengths_->SetRead(std::move(Read));
}

const TLengthReader::TRead& TMediaFileCheckList::LengthRead() const {
    return lengths_->Read();
}

int TMediaFileCheckList::LengthsInFlight() const {
    return lengths_->InFlight();
}

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

std::uint32_t TMediaFileCheckList::NoteFor(const std::string& Why) {
    if (Why.empty())
        return 0; // added by hand
    auto [id, added] = reasonIds_.try_emplace(Why, static_cast<std::uint32_t>(reasons_->size()));
    if (added)
        reasons_->push_back(DisplayText(Why));
    return id->second;
}

int TMediaFileCheckList::AddMediaEntry(const std::string& Path, const TMediaInfo& Info,
                                       bool Checked, const std::string& Why) {
    Model()->Append(Path, ColumnsOf(Info), Checked ? CheckedRow : UncheckedRow, FileIconIndex(Path),
                    NoteFor(Why));
    if (bulk_)
        bulkAdded_ = true;
    else
        emit EntriesChanged();
    return Count() - 1;
}

int TMediaFileCheckList::AddDroppedEntry(const std::string& Path, const TMediaInfo& Info,
                                         const std::string& Why) {
    Model()->Append(Path, ColumnsOf(Info), UncheckedRow, FileIconIndex(Path), NoteFor(Why), true);
    if (!Model()->DroppedShown())
        return -1;
    if (bulk_)
        bulkAdded_ = true;
    else
        emit EntriesChanged();
    return Count() - 1;
}

void TMediaFileCheckList::SetBulkAppend(bool On) {
    if (On == bulk_)
        return;
    bulk_ = On;
    if (On || !bulkAdded_)
        return;
    bulkAdded_ = false;
    // The rows reach the view with the model's next batch.
    emit EntriesChanged();
}

bool TMediaFileCheckList::DroppedShown() const {
    return Model()->DroppedShown();
}

void TMediaFileCheckList::SetDroppedShown(bool Shown) {
    if (Shown == Model()->DroppedShown())
        return;
    Model()->SetDroppedShown(Shown);
    if (Shown && sortedWhileHidden_)
        SortBy(sortColumn_, sortAscending_);
    sortedWhileHidden_ = false;
    ListChange();
}

std::vector<std::uint32_t> TMediaFileCheckList::ReasonRanks() const {
    std::vector<std::string> texts(reasons_->size());
    texts[0] = "Added by hand";
    for (const auto& [text, id] : reasonIds_)
        texts[id] = text;
    std::vector<std::string> keys(texts.size());
    for (std::size_t id = 0; id < texts.size(); ++id)
        collation_->AppendKey(texts[id], keys[id]);
    std::vector<std::uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t A, std::uint32_t B) { return keys[A] < keys[B]; });
    std::vector<std::uint32_t> ranks(texts.size());
    for (std::size_t place = 0; place < order.size(); ++place)
        ranks[order[place]] = static_cast<std::uint32_t>(
            place > 0 && keys[order[place]] == keys[order[place - 1]] ? ranks[order[place - 1]]
                                                                      : place);
    return ranks;
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
    if (Column < 0 || Column > PlaylistWhyColumn)
        return;
    sortAscending_ = Column == sortColumn_ ? !sortAscending_ : true;
    sortColumn_ = Column;
    if (!Model()->DroppedShown())
        sortedWhileHidden_ = true;
    SortBy(Column, sortAscending_);
    View()->header()->setSortIndicatorShown(true);
    View()->header()->setSortIndicator(Column,
                                       sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit EntriesChanged();
}

void TMediaFileCheckList::SortBy(int Column, bool Ascending) {
    Model()->Flush();
    Model()->ApplyOrder(Model()->ColumnOrder(Column, Ascending));
}

void TMediaFileCheckList::EditExecute() {
    const int row = SelectedIndex();
    const std::string before = row >= 0 ? Model()->Caption(row) : std::string();
    TFileCheckList::EditExecute();
    // Another file: its length is read again.
    if (row >= 0 && Model()->Caption(row) != before) {
        Model()->SetLength(row, LengthNotRead);
        lengths_->Restart();
    }
}

void TMediaFileCheckList::AddExecute() {
    const int before = Count();
    TFileCheckList::AddExecute();
    for (int row = before; row < Count(); ++row) {
        const std::string path = Model()->Caption(row);
        TMediaInfo info;
        if (provider_)
            provider_(path, info);
        Model()->SetIconIndex(row, FileIconIndex(path));
        Model()->SetColumns(row, ColumnsOf(info));
    }
}

void TMediaFileCheckList::CopySelectedPaths() const {
    QStringList paths;
    for (int row : SelectedRows())
        paths << DisplayPath(Model()->Caption(row));
    if (!paths.isEmpty())
        QGuiApplication::clipboard()->setText(paths.join('\n'));
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

// Searches kept as files in the main window: New, Open, Save, Save As, the
// recent searches, the title with its modified mark, the question before
// unsaved changes go, and the user's changes to a compiled list that the
// search keeps (removed and added files).
#include "app/Main.h"
#include "engine/CompileJob.h"
#include "engine/CompileThread.h"
#include "files/Paths.h"
#include "panels/CriterionListFrame.h"
#include "panels/Dialogs.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/TextDisplay.h"
#include "panels/YearCriterionListFrame.h"
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <unordered_set>

namespace {
const char* const SearchFilter = "Morvane searches (*.morvane);;All files (*)";
} // namespace

void TMainForm::BuildSearchCommands() {
    // The Search button sits at the left of the bottom panel, beside Back and Next.
    SearchButton = new QPushButton("&Search", ButtonPanel()->parentWidget());
    SearchButton->setObjectName("SearchButton");
    SearchButton->setGeometry(8, 8, 80, 25);
    SearchMenu = new QMenu(SearchButton);
    SearchMenu->setObjectName("SearchMenu");
    SearchButton->setMenu(SearchMenu);
    const auto command = [this](const char* Name, const QString& Text, QKeySequence Keys,
                                auto Handler) {
        auto* action = new QAction(Text, this);
        action->setObjectName(Name);
        action->setShortcut(Keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, Handler);
        addAction(action);
        return action;
    };
    NewSearchAction = command("NewSearch", "&New", QKeySequence::New, [this] { NewSearchClick(); });
    OpenSearchAction =
        command("OpenSearch", "&Open...", QKeySequence::Open, [this] { OpenSearchClick(); });
    SaveSearchAction =
        command("SaveSearch", "&Save", QKeySequence::Save, [this] { SaveSearchClick(); });
    SaveSearchAsAction = command("SaveSearchAs", "Save &As...", QKeySequence::SaveAs,
                                 [this] { SaveSearchAsClick(); });
    ForgetChangesAction = command("ForgetChanges", "&Forget my changes", QKeySequence(),
                                  [this] { ForgetChangesClick(); });
    KeepCurrentAction = new QAction("&Keep this playlist current", this);
    KeepCurrentAction->setObjectName("KeepCurrent");
    KeepCurrentAction->setCheckable(true);
    KeepCurrentAction->setToolTip("The playlist follows every change to the search's folders "
                                  "while \"morvane --watch\" runs (the morvane-watch service)");
    connect(KeepCurrentAction, &QAction::toggled, this, [this](bool Keep) {
        if (searchFile_.empty())
            return;
        std::erase(watchedSearches_, searchFile_);
        if (Keep)
            watchedSearches_.push_back(searchFile_);
    });
    connect(SearchMenu, &QMenu::aboutToShow, this, [this] { RebuildSearchMenu(); });
    RebuildSearchMenu();

    // The recent searches on the welcome panel, one link each.
    RecentSearchesLabel = new QLabel(WelcomePagePanel());
    RecentSearchesLabel->setObjectName("RecentSearches");
    RecentSearchesLabel->setAttribute(Qt::WA_TranslucentBackground);
    RecentSearchesLabel->setTextFormat(Qt::RichText);
    RecentSearchesLabel->setGeometry(296, 300, 297, 104);
    RecentSearchesLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(RecentSearchesLabel, &QLabel::linkActivated, this,
            [this](const QString& Link) { OpenRecentSearch(Link.toInt()); });

    // Changes to the pages refresh the modified mark, once per burst of them.
    titleTimer_ = new QTimer(this);
    titleTimer_->setSingleShot(true);
    titleTimer_->setInterval(100);
    connect(titleTimer_, &QTimer::timeout, this, [this] { UpdateSearchTitle(); });
    const auto changed = [this] { titleTimer_->start(); };
    std::vector<TCheckList*> lists = {Folders, Filenames};
    lists.insert(lists.end(), CriterionLists.begin(), CriterionLists.end());
    for (TCheckList* list : lists) {
        connect(list, &TCheckList::EntriesChanged, this, changed);
        connect(list, &TCheckList::CheckStateChanged, this, changed);
    }
    for (QCheckBox* box : {Recurse, ThoroughID3Check, IncludeTaglessFiles, ReadOtherFormats})
        connect(box, &QCheckBox::toggled, this, changed);
    std::vector<QComboBox*> boxes(FieldRules.begin(), FieldRules.end());
    boxes.push_back(OrderRule);
    boxes.push_back(TagCodePage);
    for (QComboBox* box : boxes)
        connect(box, &QComboBox::currentIndexChanged, this, changed);
    connect(Order, &QListWidget::itemChanged, this, changed);
    connect(Playlist, &TCheckList::CheckStateChanged, this, changed);
    connect(Playlist, &TCheckList::EntriesChanged, this, changed);
}

void TMainForm::RebuildSearchMenu() {
    SearchMenu->clear();
    SearchMenu->addAction(NewSearchAction);
    SearchMenu->addAction(OpenSearchAction);
    SearchMenu->addAction(SaveSearchAction);
    SearchMenu->addAction(SaveSearchAsAction);
    SearchMenu->addSeparator();
    for (std::size_t i = 0; i < recentSearches_.size(); ++i) {
        const QString name = DisplayPath(recentSearches_[i]);
        QAction* action = SearchMenu->addAction(
            QString("&%1 %2").arg(i + 1).arg(QFileInfo(name).fileName().replace("&", "&&")));
        action->setToolTip(name);
        const int index = static_cast<int>(i);
        connect(action, &QAction::triggered, this, [this, index] { OpenRecentSearch(index); });
    }
    if (!recentSearches_.empty())
        SearchMenu->addSeparator();
    // Only a search kept in a file can be watched.
    const QSignalBlocker quiet(KeepCurrentAction);
    KeepCurrentAction->setEnabled(!searchFile_.empty());
    KeepCurrentAction->setChecked(!searchFile_.empty() &&
                                  std::find(watchedSearches_.begin(), watchedSearches_.end(),
                                            searchFile_) != watchedSearches_.end());
    SearchMenu->addAction(KeepCurrentAction);
    SearchMenu->addAction(ForgetChangesAction);
}

void TMainForm::UpdateRecentSearches() {
    QString text;
    if (!recentSearches_.empty())
        text = "<b>Recent searches</b>";
    for (std::size_t i = 0; i < recentSearches_.size(); ++i) {
        const QString name = QFileInfo(DisplayPath(recentSearches_[i])).completeBaseName();
        text += QString("<br><a href=\"%1\">%2</a>").arg(i).arg(name.toHtmlEscaped());
    }
    RecentSearchesLabel->setText(text);
    RecentSearchesLabel->setVisible(!recentSearches_.empty());
    RebuildSearchMenu();
}

QString TMainForm::SearchName() const {
    if (!searchFile_.empty())
        return QFileInfo(DisplayPath(searchFile_)).completeBaseName();
    return storeSearch_ ? QString() : QString("Untitled");
}

void TMainForm::UpdateSearchTitle() {
    // The settings file's own search is never marked; its list is looked at
    // only when it is kept.
    if (!storeSearch_)
        TakePlaylistChanges();
    const bool modified = SearchModified();
    const QString name = SearchName();
    setWindowModified(modified);
    setWindowTitle(name.isEmpty() ? QString("Morvane")
                                  : name + (modified ? " *" : "") + QString(" - Morvane"));
}

bool TMainForm::SearchModified() const {
    // The settings file's own search is kept there at every exit: nothing to lose.
    if (storeSearch_)
        return false;
    return !(CurrentSettings() == searchBaseline_);
}

void TMainForm::NoteCompileStarted() {
    TakePlaylistChanges();
    pruneCompileComplete_ = false;
    compileFound_.clear();
    compileAppended_.clear();
}

void TMainForm::NoteCompiledFile(const TFileInfo& File) {
    if (File.Reason.Kind == TReasonKind::AddedByHand)
        compileAppended_.insert(File.FileName);
    else if (File.Reason.Kind == TReasonKind::RemovedByYou || ReasonIncludes(File.Reason))
        compileFound_.push_back(File.FileName);
}

void TMainForm::NoteCompileEnded(bool Complete) {
    pruneCompileComplete_ = Complete;
}

// What the user did to the list since the compile becomes the search's
// removed and added paths: a file the compile found that is not checked now
// was removed; a checked file it did not find was added. Earlier removed
// paths stay until the file is checked again; earlier added ones stay unless
// the compile appended them and the user took them out.
void TMainForm::TakePlaylistChanges() {
    if (!pruneCompileComplete_ || CompileExists())
        return;
    const TCheckListModel& model = *Playlist->Model();
    std::unordered_set<std::string> checked;
    std::vector<std::string> checkedInOrder;
    for (int row = 0; row < model.Count(); ++row)
        if (!model.Dropped(row) && model.State(row).Checked()) {
            std::string path = model.Caption(row);
            if (checked.insert(path).second)
                checkedInOrder.push_back(std::move(path));
        }
    const std::unordered_set<std::string> found(compileFound_.begin(), compileFound_.end());
    std::vector<std::string> removed;
    std::unordered_set<std::string> removedSet;
    for (const std::string& path : searchValues_.RemovedPaths)
        if (!checked.contains(path) && removedSet.insert(path).second)
            removed.push_back(path);
    for (const std::string& path : compileFound_)
        if (!checked.contains(path) && removedSet.insert(path).second)
            removed.push_back(path);
    std::vector<std::string> added;
    std::unordered_set<std::string> addedSet;
    for (const std::string& path : searchValues_.AddedPaths)
        if ((checked.contains(path) || !compileAppended_.contains(path)) &&
            addedSet.insert(path).second)
            added.push_back(path);
    for (const std::string& path : checkedInOrder)
        if (!found.contains(path) && addedSet.insert(path).second)
            added.push_back(path);
    searchValues_.RemovedPaths = std::move(removed);
    searchValues_.AddedPaths = std::move(added);
}

void TMainForm::ForgetChangesClick() {
    searchValues_.RemovedPaths.clear();
    searchValues_.AddedPaths.clear();
    // The list as it stands is no longer a change to remember.
    pruneCompileComplete_ = false;
    UpdateSearchTitle();
}

void TMainForm::ShowValueProblems(const SettingsStore& Store) {
    QStringList problems;
    for (const std::string& problem : Store.ValueProblems())
        problems << QString::fromStdString(problem);
    if (!problems.isEmpty())
        Dialogs().ErrorMessage(this, problems.join('\n'));
}

void TMainForm::ShowSearch(const SettingsStore& Store) {
    std::vector<TCheckList*> lists = {Folders, Filenames};
    lists.insert(lists.end(), CriterionLists.begin(), CriterionLists.end());
    for (TCheckList* list : lists) {
        list->Clear();
        list->LoadFromStore(Store);
    }
    ApplyWindowSettings(LoadAllSettings(Store));
    Order->setEnabled(OrderRule->currentIndex() == ToStored(PrecedenceRule::ByOrder));
    // The list belonged to the search that went.
    if (CompileExists())
        controller_->AbortCompile();
    SetCompileState(TCompileState::Idle);
    Playlist->Clear();
    playlistChanged_ = false;
    pruneCompileComplete_ = false;
    CompileStatus->setText("Ready to compile.");
    SetStatusColour(false);
    searchBaseline_ = CurrentSettings();
}

void TMainForm::KeepStoreSearch() {
    if (!storeSearch_ || !store_)
        return;
    try {
        TakePlaylistChanges();
        TCheckList::SaveAllLists(*store_);
        SaveAllSettings(*store_, CurrentSettings());
        store_->Flush();
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

bool TMainForm::ConfirmSearchDiscard() {
    TakePlaylistChanges();
    if (!SearchModified())
        return true;
    const QString text = QString("Save the changes to the search \"%1\"?").arg(SearchName());
    switch (Dialogs().AskDiscard(this, text, true)) {
    case TDiscardAnswer::Save:
        return SaveSearchClick();
    case TDiscardAnswer::Discard:
        return true;
    case TDiscardAnswer::Cancel:
        break;
    }
    return false;
}

bool TMainForm::LeaveSearch() {
    if (!ConfirmDiscard(true) || !ConfirmSearchDiscard())
        return false;
    KeepStoreSearch();
    return true;
}

void TMainForm::NewSearchClick() {
    if (!LeaveSearch())
        return;
    ShowSearch(SettingsStore(std::string()));
    searchFile_.clear();
    storeSearch_ = false;
    UpdateSearchTitle();
}

void TMainForm::OpenSearchClick() {
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = "Open Search";
    request.Filter = SearchFilter;
    request.Directory = searchFile_.empty() ? DialogFolder(TDialogFolder::Playlist)
                                            : DisplayPath(FolderOf(searchFile_));
    if (!Dialogs().OpenFile(request))
        return;
    OpenSearch(request.FileName);
}

void TMainForm::OpenRecentSearch(int Index) {
    if (Index < 0 || Index >= static_cast<int>(recentSearches_.size()))
        return;
    const std::string file = recentSearches_[Index];
    OpenSearch(file);
}

bool TMainForm::OpenSearch(const std::string& FileName) {
    if (!LeaveSearch())
        return false;
    const SettingsStore store(FileName);
    if (!store.Found()) {
        Dialogs().ErrorMessage(this, QString("The search \"%1\" could not be opened: %2")
                                         .arg(DisplayPath(FileName))
                                         .arg(QString::fromStdString(store.ReadFailure())));
        std::erase(recentSearches_, FileName);
        UpdateRecentSearches();
        return false;
    }
    // What could be read is shown, as at start-up.
    if (!store.LoadError().empty())
        Dialogs().ErrorMessage(this, QString::fromStdString(store.LoadError()));
    ShowSearch(store);
    ShowValueProblems(store);
    searchFile_ = FileName;
    storeSearch_ = false;
    NoteRecentSearch(recentSearches_, FileName);
    UpdateRecentSearches();
    UpdateSearchTitle();
    return true;
}

bool TMainForm::WriteSearch(const std::string& FileName) {
    TakePlaylistChanges();
    WizardSettings settings = CurrentSettings();
    // A playlist kept beside the search stays beside it when both move.
    settings.PlaylistPath = StoredPlaylistPath(FileName, SearchPlaylistFile(searchFile_, settings));
    try {
        SaveSearchFile(FileName, settings);
    } catch (const std::exception& error) {
        Dialogs().ErrorMessage(this, QString("The search could not be saved.\n\n%1")
                                         .arg(QString::fromLocal8Bit(error.what())));
        return false;
    }
    searchValues_.PlaylistPath = settings.PlaylistPath;
    searchFile_ = FileName;
    storeSearch_ = false;
    searchBaseline_ = CurrentSettings();
    NoteRecentSearch(recentSearches_, FileName);
    UpdateRecentSearches();
    UpdateSearchTitle();
    return true;
}

bool TMainForm::SaveSearchClick() {
    if (searchFile_.empty())
        return SaveSearchAsClick();
    return WriteSearch(searchFile_);
}

bool TMainForm::SaveSearchAsClick() {
    TFileDialogRequest request;
    request.Parent = this;
    request.Title = "Save Search";
    request.Filter = SearchFilter;
    request.DefaultSuffix = "morvane";
    request.FileName = searchFile_;
    request.Directory = DialogFolder(TDialogFolder::Playlist);
    if (!Dialogs().SaveFile(request))
        return false;
    return WriteSearch(request.FileName);
}

void TMainForm::NotePlaylistSaved(const std::string& FileName, PlaylistFormat Format,
                                  const TPlaylistOptions& Options) {
    searchValues_.PlaylistPath = StoredPlaylistPath(searchFile_, FileName);
    searchValues_.PlaylistFormatName = Format == PlaylistFormatOf(FileName) ? ""
                                       : Format == PlaylistFormat::PLS      ? "pls"
                                       : Format == PlaylistFormat::M3U8     ? "m3u8"
                                                                            : "m3u";
    searchValues_.PlaylistPathsName = Options.Paths == PlaylistPaths::Root       ? "root"
                                      : Options.Paths == PlaylistPaths::Relative ? "relative"
                                                                                 : "absolute";
    if (Options.Paths == PlaylistPaths::Root)
        searchValues_.PlaylistRoot = Options.Root;
    searchValues_.PlaylistExtended = Options.Extended;
    UpdateSearchTitle();
}

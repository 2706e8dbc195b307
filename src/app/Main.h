// The main window: the wizard's welcome panel and its ten pages (search
// settings, summary, compile), the compile and save commands, and the loading
// and storing of the settings.
#pragma once

#include "app/WizardFrm.h"
#include "engine/Counts.h"
#include "engine/Criteria.h"
#include "model/WizardSettings.h"
#include "playlists/PlaylistWriters.h"

#include <QPalette>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QMouseEvent;
class QMoveEvent;
class QResizeEvent;
class QProgressBar;
class QStackedWidget;
class QPushButton;
class QSpinBox;
class TCountsController;
class TTagIndex;
class QTextEdit;
class QTimer;
class QTimer;
class SettingsStore;
class TCheckList;
class TCompileController;
class TCriterionList;
class TFolderCheckList;
class TMaskHelpForm;
class TMediaFileCheckList;
class TYearCriterionList;
struct TFileInfo;
struct TMediaInfo;

// The option check boxes' captions, as the summary quotes them.
extern const char* const RecurseCaption;
extern const char* const ThoroughID3CheckCaption;
extern const char* const IncludeTaglessFilesCaption;
extern const char* const TagCodePageCaption;
extern const char* const ReadOtherFormatsCaption;
extern const char* const RememberTagsCaption; // "Remember tags between compiles"
// What the Summary suggests when no criterion can take a file.
extern const char* const CriteriaAdvice;

enum class TCompileState { Idle, Running, Paused };

// The status line after a save: "Saved 12 entries to /music/mix.m3u."
std::string SavedPlaylistText(std::size_t Entries, const std::string& FileName);

// Page order; also the index of each page in the wizard.
enum TMainPage {
    FoldersPage = 0,
    FileNamesPage,
    TitlesPage,
    ArtistsPage,
    AlbumsPage,
    GenresPage,
    YearsPage,
    MoreCriteriaPage,
    OptionsPage,
    SelectionPage,
    SummaryPage,
    CompilePage,
    MainPageCount
};

class TMainForm : public TWizardForm {
    Q_OBJECT
public:
    // Reads its settings from SettingsFile; stores them there when destroyed.
    // SettingsFile: raw path bytes.
    explicit TMainForm(std::string SettingsFile, QWidget* Parent = nullptr);
    explicit TMainForm(const QString& SettingsFile, QWidget* Parent = nullptr);
    ~TMainForm() override;

    // The size, position and maximized state came from the settings (else the
    // window is centred when first shown).
    bool PlacementRestored() const { return placementRestored_; }

    // Off: the window never writes its settings file (screenshots, previews).
    void SetStoreOnDestroy(bool On) { storeOnDestroy_ = On; }
    // The window shown by the "Mask Help" buttons; made on first use when not set.
    void SetMaskHelpForm(TMaskHelpForm* Form) { maskHelp_ = Form; }
    TMaskHelpForm* MaskHelpForm() const { return maskHelp_; }

    // The settings as the pages show them now.
    WizardSettings CurrentSettings() const;
    void ApplyWindowSettings(const WizardSettings& Settings);

    // ---- Navigation
    void NextClick() override;
    void BackClick() override;
    void OrderRuleChange();
    void OrderMouseDown(QMouseEvent* Event);
    void OrderMouseMove(QMouseEvent* Event);
    void OrderMouseUp(QMouseEvent* Event);
    void MaskHelpButtonClick();

    // ---- Order and limits page
    // The page's values as the settings keep them, and back.
    TSelectionTexts SelectionTexts() const;
    void ApplySelectionTexts(const TSelectionTexts& Texts);
    // Draws a new seed for the shuffle and the random pick.
    void NewShuffleClick();
    // Any value changed: the seed line, what is enabled, what is not understood.
    void SelectionChange();

    // ---- Summary page
    void BuildSummary();
    void CheckSettings(const WizardSettings& Settings);
    // Adds title "*" as an include (or makes an existing one include) and
    // builds the Summary again.
    void IncludeEveryTitleClick();
    void AddSummaryError(const QString& Message);
    void SummaryMenuPopup();
    void Copy1Click();
    void SelectAll1Click();

    // ---- Compile page
    void CompileClick();
    void SaveClick();
    // Keeps the first row of each file (links and hard links reach the same
    // file) and says on the status line how many went.
    void RemoveDuplicatesClick();
    void BuildAddFilesFilter();
    void UpdatePlaylistCheckCount();
    void ShowCompileStatus(const std::string& Message);
    void AddFoundFile(const TFileInfo& File);
    // A file the search dropped: kept for the "Show dropped files" switch.
    void AddDroppedFile(const TFileInfo& File);
    void CompileTerminated();
    // A run that ended on an error: its message in red on the status line and in a box.
    void CompileFailed(const std::string& Message);
    void ProvideMediaInfo(const std::string& Path, TMediaInfo& Info);
    // ---- The tag index
    // --no-index: no compile of this window looks tags up or remembers them.
    void DisableTagIndex() { tagIndexDisabled_ = true; }
    // The index while "Remember tags between compiles" is on, opened when first needed.
    std::shared_ptr<TTagIndex> TagIndex();
    void ForgetTagsClick();
    // One line from the index: on the status line, after the compile's last status.
    void TagIndexWarning(const QString& Line);
    TCompileState CompileState() const { return compileState_; }
    // The list holds entries changed (compiled, added, removed, checked, sorted)
    // since it was last saved.
    bool PlaylistUnsaved() const;
    bool CompileExists() const;
    bool CompileRunning() const;
    // The controller of the window's compiles (tests slow its tag reads down).
    TCompileController& CompileController() const { return *controller_; }

    // ---- What each rule does, counted while the rules are written
    // An edit: the counts shown go grey and are asked for again shortly.
    void ScheduleCounts();
    // Counts from the controller; Generation tells whether they are of the
    // settings shown now (else they stay grey), Final whether every tag was known.
    void ShowCounts(const TSearchCounts& Counts, std::uint64_t Generation, bool Final);
    TCountsController& CountsController() const { return *countsController_; }
    // The counts the pages show, and whether they are of the settings shown now.
    const TSearchCounts& ShownCounts() const { return shownCounts_; }
    bool CountsCurrent() const { return countsCurrent_; }
    QLabel* CountsStatus = nullptr;
    QProgressBar* CountsProgress = nullptr;

    // ---- Searches kept as files
    // Opens FileName as the search (after the questions about unsaved work);
    // false when it was not opened.
    bool OpenSearch(const std::string& FileName);
    void NewSearchClick();
    void OpenSearchClick();
    bool SaveSearchClick();
    bool SaveSearchAsClick();
    void OpenRecentSearch(int Index);
    // Clears the search's removed and added files.
    void ForgetChangesClick();
    // The search's file; empty for the settings file's own search and a new one.
    const std::string& SearchFile() const { return searchFile_; }
    // The search differs from its file (a new search: from an empty one). The
    // settings file's own search is kept at every exit and never is.
    bool SearchModified() const;
    const std::vector<std::string>& RecentSearches() const { return recentSearches_; }
    const std::vector<std::string>& WatchedSearches() const { return watchedSearches_; }
    QPushButton* SearchButton = nullptr;
    QMenu* SearchMenu = nullptr;
    QAction* NewSearchAction = nullptr;
    QAction* OpenSearchAction = nullptr;
    QAction* SaveSearchAction = nullptr;
    QAction* SaveSearchAsAction = nullptr;
    QAction* ForgetChangesAction = nullptr;
    // Checked: `morvane --watch` keeps the open search's playlist current.
    QAction* KeepCurrentAction = nullptr;
    QLabel* RecentSearchesLabel = nullptr; // on the welcome panel

    // ---- Controls, by their layout names
    TFolderCheckList* Folders = nullptr;
    QCheckBox* Recurse = nullptr;
    TCheckList* Filenames = nullptr;
    QCheckBox* ThoroughID3Check = nullptr;
    std::array<TCriterionList*, CriterionFieldCount> CriterionLists{};
    TCriterionList* Titles = nullptr;
    TCriterionList* Artists = nullptr;
    TCriterionList* Albums = nullptr;
    TCriterionList* Genres = nullptr;
    TYearCriterionList* Years = nullptr;
    std::array<QComboBox*, CriterionFieldCount> FieldRules{}; // TitlesRule ... ModifiedRule
    // The More criteria page: which field's list and rule it shows.
    QComboBox* MoreField = nullptr;
    QStackedWidget* MoreLists = nullptr;
    QStackedWidget* MoreRules = nullptr;
    // Shows the list and rule of the field (a CriterionField beyond the first five).
    void ShowMoreField(int Field);
    QComboBox* OrderRule = nullptr;
    QListWidget* Order = nullptr;
    QCheckBox* IncludeTaglessFiles = nullptr;
    // Item data: the code page's name as stored.
    QComboBox* TagCodePage = nullptr;
    QCheckBox* ReadOtherFormats = nullptr;
    QCheckBox* RememberTags = nullptr;
    QPushButton* ForgetTags = nullptr;
    QComboBox* PlaylistOrder = nullptr; // editable: any order the settings understand
    QPushButton* NewShuffle = nullptr;
    QSpinBox* LimitAmount = nullptr;
    QComboBox* LimitUnit = nullptr; // in the order of TLimitUnit
    QComboBox* LimitPick = nullptr; // in the order of TPick
    QSpinBox* PerArtist = nullptr;  // 0: no cap
    QSpinBox* PerAlbum = nullptr;
    QLabel* ShuffleSeed = nullptr;
    QLabel* SelectionProblem = nullptr; // red: the values not understood
    QTextEdit* Summary = nullptr;
    // Shown on the Summary while the criteria cannot take any file.
    QPushButton* IncludeEveryTitle = nullptr;
    QMenu* SummaryMenu = nullptr;
    QAction* Copy1 = nullptr;
    QAction* SelectAll1 = nullptr;
    QLabel* CompileStatus = nullptr;
    QPushButton* Compile = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* RemoveDuplicates = nullptr;
    // Not kept in the settings: every window starts with it off.
    QCheckBox* ShowDroppedFiles = nullptr;
    TMediaFileCheckList* Playlist = nullptr;
    QLabel* PlaylistCheckCount = nullptr;
    std::vector<QPushButton*> MaskHelpButtons;

    int OrderDragIndex() const { return orderDragIndex_; }

signals:
    // The user closed the window; the application ends.
    void FormClosed();

protected:
    void FormCreate() override;
    void FormDestroy();
    // Writes the settings file now (atomically); a failure is shown only when
    // Report, else left for the next write to meet.
    void StoreSettings(bool Report);
    void closeEvent(QCloseEvent* Event) override;
    void moveEvent(QMoveEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildWelcomePanel();
    void BuildFoldersPage();
    void BuildFileNamesPage();
    void BuildCriterionPage(int Field);
    void BuildMoreCriteriaPage();
    void BuildOptionsPage();
    void BuildSelectionPage();
    // The Summary's lines of the order, limit and caps (none while all are empty).
    void AppendSelectionSummary(const WizardSettings& Settings);
    void BuildSummaryPage();
    void BuildCompilePage();
    void BuildCounts();
    void RequestCounts();
    void ShowCountsProgress(std::size_t Done, std::size_t Wanted);
    // The Summary's lines of the counts: the total, and what each entry decides.
    void AppendCountsTotal();
    void AppendCountsBlock(const WizardSettings& Settings);
    void ConnectCompileController();
    // The counts line and the compile's latest status follow a running compile
    // at most every CompileLinesMilliseconds; Refresh shows them now.
    void ScheduleCompileLines();
    void RefreshCompileLines();
    void FitWindowToPages();
    void SetCompileState(TCompileState State);
    void SetStatusColour(bool Red);
    void AppendSummaryLine(const QString& Text, bool Red = false);
    void AppendSummaryBlock(const TCheckList& Panel, bool Paths);
    void ShowError(const std::exception& Error);
    // The "Window" section: place, size, maximized, the dialogs' folders.
    void LoadPlacement(const SettingsStore& Store);
    void SavePlacement(SettingsStore& Store) const;
    void TrackNormalPlacement();
    // Asks "Discard the compiled playlist?" when the list is unsaved; true when
    // the caller may go on (nothing to lose, Discard, or Save that succeeded).
    bool ConfirmDiscard(bool OfferSave);
    // Save's dialog and writing; true when a file was written.
    bool SavePlaylist();
    // The lengths of Paths for the extended lines: those the list has read,
    // the rest read on a thread of their own while a progress box offers
    // Cancel. False when the user cancelled.
    bool PlaylistLengths(const std::vector<int>& Rows, std::vector<std::int64_t>& Milliseconds);
    QPushButton* MakeMaskHelpButton(QWidget* Page);
    void BuildSearchCommands();
    void RebuildSearchMenu();
    void UpdateRecentSearches();
    QString SearchName() const;
    void UpdateSearchTitle();
    void NoteCompileStarted();
    void NoteCompiledFile(const TFileInfo& File);
    void NoteCompileEnded(bool Complete);
    // The user's changes to the compiled list into the search's removed and added files.
    void TakePlaylistChanges();
    // Shows the search of Store on the pages, with an empty list.
    void ShowSearch(const SettingsStore& Store);
    // Values of Store that could not be used, in one message box.
    void ShowValueProblems(const SettingsStore& Store);
    // The settings file's own search is written there before another replaces it.
    void KeepStoreSearch();
    bool ConfirmSearchDiscard();
    // Both questions about unsaved work; true when the search may go.
    bool LeaveSearch();
    bool WriteSearch(const std::string& FileName);
    void NotePlaylistSaved(const std::string& FileName, PlaylistFormat Format,
                           const TPlaylistOptions& Options);

    std::string settingsFile_;
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<TCompileController> controller_;
    std::shared_ptr<TTagIndex> tagIndex_;
    bool tagIndexDisabled_ = false;
    QString tagIndexWarning_; // waits for the running compile's last status
    TMaskHelpForm* maskHelp_ = nullptr;
    bool storeOnDestroy_ = true;
    bool destroyed_ = false;
    int orderDragIndex_ = -1;
    TCompileState compileState_ = TCompileState::Idle;
    bool summaryEmpty_ = true;
    bool playlistChanged_ = false;
    // The criteria of the last compile started: the found files' reasons point into them.
    CriteriaJob compileCriteria_;
    // Save's options, remembered in the settings.
    bool relativePlaylistPaths_ = false;
    bool extendedPlaylist_ = false;
    int playlistFileType_ = 0; // the save dialog's file type, as last chosen
    bool placementRestored_ = false;
    QRect normalPlacement_; // the place to restore a maximized window to
    QTimer* compileLinesTimer_ = nullptr;
    bool compileLinesPending_ = false;
    std::string pendingStatus_; // the latest status a compile handed over, not yet shown
    bool statusPending_ = false;
    // The checked search folders missing when the last compile started.
    std::vector<std::string> missingFolders_;
    int shownChecked_ = -1;
    int shownTotal_ = -1;
    QString shownLength_; // the total length as the counts line shows it; empty: none

    std::string searchFile_;
    bool storeSearch_ = true; // the search shown is the settings file's own
    WizardSettings searchBaseline_;
    // The search's values that no widget shows: its playlist, removed and added files.
    WizardSettings searchValues_;
    // The seed of the shuffle and the random pick, as the settings keep it.
    std::string selectionSeed_;
    // Set while ApplySelectionTexts fills the page: its controls' changes are
    // not the user's.
    bool applyingSelection_ = false;
    // The seed line, what is enabled and what is not understood; a random
    // order or pick without a seed gets one when DrawSeed.
    void ShowSelectionState(bool DrawSeed);
    std::vector<std::string> recentSearches_;
    std::vector<std::string> watchedSearches_; // kept current by `morvane --watch`
    // What the last compile found by the rules, and the added files it appended;
    // complete only when it walked every folder.
    bool pruneCompileComplete_ = false;
    std::vector<std::string> compileFound_;
    std::unordered_set<std::string> compileAppended_;
    QTimer* titleTimer_ = nullptr;

    std::unique_ptr<TCountsController> countsController_;
    QTimer* countsTimer_ = nullptr;
    std::uint64_t countsAsked_ = 0; // the generation of the settings shown now
    TSearchCounts shownCounts_;
    bool countsShown_ = false;   // some counts have arrived
    bool countsCurrent_ = false; // they are of the settings shown now, and final
};

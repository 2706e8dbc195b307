// The main window: creation, navigation, the Order list, the mask help and the
// settings it loads at creation and stores at destruction.
#include "app/Main.h"
#include "app/Artwork.h"
#include "app/BannerFrame.h"
#include "app/CountsController.h"
#include "app/MaskHelp.h"
#include "engine/CompileThread.h"
#include "engine/FilePolicy.h"
#include "media/MediaUtils.h"
#include "panels/CheckListView.h"
#include "panels/CriterionListFrame.h"
#include "panels/Dialogs.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/YearCriterionListFrame.h"
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTextEdit>
#include <algorithm>

namespace {
constexpr int ClientWidth = 609;
constexpr int ClientHeight = 507;
} // namespace

TMainForm::TMainForm(const QString& SettingsFile, QWidget* Parent)
    : TMainForm(QFile::encodeName(SettingsFile).toStdString(), Parent) {}

TMainForm::TMainForm(std::string SettingsFile, QWidget* Parent)
    : TWizardForm(Parent), settingsFile_(std::move(SettingsFile)),
      controller_(std::make_unique<TCompileController>()) {
    setObjectName("MainForm");
    setWindowTitle("Morvane");
    setWindowIcon(ApplicationIcon());
    Banner()->SetImage(QPixmap::fromImage(BannerPicture()));
    Banner()->SetHeadingFont(font());
    WelcomeImage()->setPixmap(QPixmap::fromImage(WelcomePicture()));

    BuildWelcomePanel();
    BuildFoldersPage();
    BuildFileNamesPage();
    for (int field = 0; field < ClassicFieldCount; ++field)
        BuildCriterionPage(field);
    BuildMoreCriteriaPage();
    Titles = CriterionLists[FieldTitle];
    Artists = CriterionLists[FieldArtist];
    Albums = CriterionLists[FieldAlbum];
    Genres = CriterionLists[FieldGenre];
    Years = static_cast<TYearCriterionList*>(CriterionLists[FieldYear]);
    BuildOptionsPage();
    BuildSelectionPage();
    BuildSummaryPage();
    BuildCompilePage();
    ConnectCompileController();
    BuildSearchCommands();
    BuildCounts();

    FitWindowToPages();
    SetBorderStyle(TBorderStyle::Sizeable);
    // The reference size is the smallest: the window only grows from it.
    setMinimumSize(size());
    FormCreate();
}

TMainForm::~TMainForm() {
    FormDestroy();
}

void TMainForm::FitWindowToPages() {
    // Fonts wider than the reference layout's need taller pages; the window
    // grows to the tallest page instead of clipping its texts.
    int pagesHeight = 0;
    for (int i = 0; i < PageCount(); ++i) {
        QLayout* layout = Page(i)->layout();
        const int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(ClientWidth)
                                                       : layout->totalMinimumSize().height();
        pagesHeight = std::max(pagesHeight, needed);
    }
    const int chrome = 60 + 2 + 2 + 60; // banner, bevels, bottom panel
    resize(ClientWidth, std::max(ClientHeight, pagesHeight + chrome));
}

void TMainForm::FormCreate() {
    TWizardForm::FormCreate();
    try {
        store_ = std::make_unique<SettingsStore>(settingsFile_);
        if (!store_->LoadError().empty())
            Dialogs().ErrorMessage(this, QString::fromStdString(store_->LoadError()));
        TCheckList::LoadAllLists(*store_);
        // A first run starts with every format the program reads, so that the
        // user's first choice is a folder.
        if (!store_->Found() && store_->LoadError().empty() && Filenames->Count() == 0)
            for (const std::string& mask : ReadableFormatMasks())
                Filenames->AddEntry(mask, true);
        LoadPlacement(*store_);
        recentSearches_ = LoadRecentSearches(*store_);
        watchedSearches_ = LoadWatchedSearches(*store_);
    } catch (const std::exception& error) {
        ShowError(error);
    }
    Filenames->SetItemNoun("filename mask");
    Titles->SetItemNoun("title mask");
    Artists->SetItemNoun("artist mask");
    Albums->SetItemNoun("album mask");
    Genres->SetItemNoun("genre mask");
    orderDragIndex_ = -1;
    UpdatePlaylistCheckCount();
    Playlist->SetMediaInfoProvider(
        [this](const std::string& Path, TMediaInfo& Info) { ProvideMediaInfo(Path, Info); });
    Filenames->SetDragReorder(false);
    if (store_) {
        try {
            WizardSettings settings = CurrentSettings();
            LoadWindowSettings(*store_, settings);
            LoadSearchSections(*store_, settings);
            ApplyWindowSettings(settings);
            ShowValueProblems(*store_);
        } catch (const std::exception& error) {
            ShowError(error);
        }
    }
    Order->setEnabled(OrderRule->currentIndex() == ToStored(PrecedenceRule::ByOrder));
    searchBaseline_ = CurrentSettings();
    UpdateRecentSearches();
    UpdateSearchTitle();
}

void TMainForm::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    // Runs still going end here, before the panels they report to go away.
    countsController_.reset();
    controller_->ShowCompileStatus = nullptr;
    controller_->AddFoundFile = nullptr;
    controller_->AddDroppedFile = nullptr;
    controller_->HandOversDelivered = nullptr;
    controller_->CompileTerminated = nullptr;
    controller_->CompileFailed = nullptr;
    controller_.reset();
    StoreSettings(true);
}

void TMainForm::StoreSettings(bool Report) {
    if (!storeOnDestroy_ || !store_)
        return;
    try {
        // A search of its own file is kept there, not in the settings file.
        if (storeSearch_) {
            TCheckList::SaveAllLists(*store_);
            const WizardSettings settings = CurrentSettings();
            SaveWindowSettings(*store_, settings);
            SaveSearchSections(*store_, settings);
        }
        SavePlacement(*store_);
        SaveRecentSearches(*store_, recentSearches_);
        SaveWatchedSearches(*store_, watchedSearches_);
        store_->Flush();
    } catch (const std::exception& error) {
        if (Report)
            ShowError(error);
    }
}

void TMainForm::closeEvent(QCloseEvent* Event) {
    if (!ConfirmDiscard(true) || !ConfirmSearchDiscard()) {
        Event->ignore();
        return;
    }
    if (CompileRunning())
        controller_->AbortCompile();
    if (maskHelp_)
        maskHelp_->hide();
    Event->accept();
    emit FormClosed();
}

void TMainForm::ShowError(const std::exception& Error) {
    Dialogs().ErrorMessage(this, QString::fromStdString(Error.what()));
}

WizardSettings TMainForm::CurrentSettings() const {
    WizardSettings settings;
    settings.Folders = Folders->CheckEntries();
    settings.Filenames = Filenames->CheckEntries();
    for (int field = 0; field < CriterionFieldCount; ++field) {
        settings.Criteria[field] = CriterionLists[field]->CriterionEntries();
        settings.FieldRules[field] = PrecedenceRuleFromStored(FieldRules[field]->currentIndex());
    }
    settings.Recurse = Recurse->isChecked();
    settings.ThoroughID3Check = ThoroughID3Check->isChecked();
    settings.IncludeTaglessFiles = IncludeTaglessFiles->isChecked();
    settings.TagCodePage = TagCodePage->currentData().toString().toStdString();
    settings.ReadOtherFormats = ReadOtherFormats->isChecked();
    settings.RememberTags = RememberTags->isChecked();
    settings.RelativePlaylistPaths = relativePlaylistPaths_;
    settings.ExtendedPlaylist = extendedPlaylist_;
    settings.PlaylistPath = searchValues_.PlaylistPath;
    settings.PlaylistFormatName = searchValues_.PlaylistFormatName;
    settings.PlaylistPathsName = searchValues_.PlaylistPathsName;
    settings.PlaylistRoot = searchValues_.PlaylistRoot;
    settings.PlaylistExtended = searchValues_.PlaylistExtended;
    settings.PlaylistUnique = searchValues_.PlaylistUnique;
    settings.RemovedPaths = searchValues_.RemovedPaths;
    settings.AddedPaths = searchValues_.AddedPaths;
    settings.Selection = SelectionTexts();
    settings.OrderRule = PrecedenceRuleFromStored(OrderRule->currentIndex());
    settings.FieldOrder.clear();
    for (int i = 0; i < Order->count(); ++i)
        settings.FieldOrder.push_back(Order->item(i)->text().toStdString());
    return settings;
}

void TMainForm::ApplyWindowSettings(const WizardSettings& Settings) {
    Recurse->setChecked(Settings.Recurse);
    ThoroughID3Check->setChecked(Settings.ThoroughID3Check);
    for (int field = 0; field < CriterionFieldCount; ++field)
        FieldRules[field]->setCurrentIndex(ToStored(Settings.FieldRules[field]));
    OrderRule->setCurrentIndex(ToStored(Settings.OrderRule));
    const std::vector<std::string> order = CompleteFieldOrder(Settings.FieldOrder);
    if (static_cast<int>(order.size()) == Order->count())
        for (int i = 0; i < Order->count(); ++i)
            Order->item(i)->setText(QString::fromStdString(order[i]));
    IncludeTaglessFiles->setChecked(Settings.IncludeTaglessFiles);
    TagCodePage->setCurrentIndex(
        std::max(0, TagCodePage->findData(QString::fromStdString(Settings.TagCodePage))));
    ReadOtherFormats->setChecked(Settings.ReadOtherFormats);
    RememberTags->setChecked(Settings.RememberTags);
    relativePlaylistPaths_ = Settings.RelativePlaylistPaths;
    extendedPlaylist_ = Settings.ExtendedPlaylist;
    searchValues_ = Settings;
    ApplySelectionTexts(Settings.Selection);
}

void TMainForm::NextClick() {
    TWizardForm::NextClick();
    // What the user set up on the page left is kept, whatever happens next.
    StoreSettings(false);
    if (WelcomePagePanel()->isHidden()) {
        if (PageIndex() == SummaryPage)
            BuildSummary();
        else if (PageIndex() == CompilePage)
            BuildAddFilesFilter();
    }
}

void TMainForm::BackClick() {
    if (CompileExists()) {
        if (!Dialogs().Question(this, "Morvane",
                                "Are you sure you want to abort the compilation and go back?"))
            return;
        controller_->AbortCompile();
        statusPending_ = false;
        SetCompileState(TCompileState::Idle);
        CompileStatus->setText("Ready to compile.");
        SetStatusColour(false);
    } else if (WelcomePagePanel()->isHidden() && PageIndex() == CompilePage) {
        // Leaving the page lets its list go: an answer of Discard empties it.
        if (!ConfirmDiscard(false))
            return;
        if (PlaylistUnsaved()) {
            Playlist->Clear();
            playlistChanged_ = false;
        }
    }
    TWizardForm::BackClick();
    StoreSettings(false);
}

void TMainForm::OrderRuleChange() {
    Order->setEnabled(OrderRule->currentIndex() == ToStored(PrecedenceRule::ByOrder));
}

void TMainForm::OrderMouseDown(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton && Order->currentRow() >= 0 &&
        Order->currentItem()->isSelected())
        orderDragIndex_ = Order->currentRow();
}

void TMainForm::OrderMouseMove(QMouseEvent* Event) {
    if (orderDragIndex_ < 0 || !(Event->buttons() & Qt::LeftButton))
        return;
    // The selection follows the pointer while the button is held.
    if (QListWidgetItem* under = Order->itemAt(Event->position().toPoint()))
        Order->setCurrentItem(under);
    const int selected = Order->currentRow();
    if (selected < 0 || selected == orderDragIndex_)
        return;
    // The two ends swap: a jump over several items moves only these two.
    const QString moving = Order->item(orderDragIndex_)->text();
    Order->item(orderDragIndex_)->setText(Order->item(selected)->text());
    Order->item(selected)->setText(moving);
    Order->setCurrentRow(selected);
    orderDragIndex_ = selected;
}

void TMainForm::OrderMouseUp(QMouseEvent*) {
    orderDragIndex_ = -1;
}

bool TMainForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Summary && Watched == Summary && Event->type() == QEvent::KeyPress &&
        IsContextMenuKey(*static_cast<QKeyEvent*>(Event))) {
        emit Summary->customContextMenuRequested(Summary->cursorRect().center());
        return true;
    }
    if (Event->type() == QEvent::Resize && Watched == Page(CompilePage)) {
        const QMargins margins = Page(CompilePage)->layout()->contentsMargins();
        const int width = Page(CompilePage)->width() - margins.left() - margins.right();
        CompileStatus->setFixedWidth(width);
        PlaylistCheckCount->setFixedWidth(width);
    }
    if (Order && Watched == Order && Event->type() == QEvent::KeyPress && Order->isEnabled()) {
        const auto* key = static_cast<QKeyEvent*>(Event);
        const int row = Order->currentRow();
        const int step = key->key() == Qt::Key_Up ? -1 : (key->key() == Qt::Key_Down ? 1 : 0);
        if (step && (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
            const int target = row + step;
            if (row >= 0 && target >= 0 && target < Order->count()) {
                const QString moving = Order->item(row)->text();
                Order->item(row)->setText(Order->item(target)->text());
                Order->item(target)->setText(moving);
                Order->setCurrentRow(target);
            }
            return true;
        }
    }
    // A disabled list takes no part in reordering, even with an item left selected.
    if (Order && Watched == Order->viewport() && Order->isEnabled()) {
        switch (Event->type()) {
        case QEvent::MouseButtonPress: {
            // The list selects the pressed item first, then the drag starts.
            Order->viewport()->removeEventFilter(this);
            QCoreApplication::sendEvent(Order->viewport(), Event);
            Order->viewport()->installEventFilter(this);
            OrderMouseDown(static_cast<QMouseEvent*>(Event));
            return true;
        }
        case QEvent::MouseMove:
            if (static_cast<QMouseEvent*>(Event)->buttons() & Qt::LeftButton) {
                OrderMouseMove(static_cast<QMouseEvent*>(Event));
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            OrderMouseUp(static_cast<QMouseEvent*>(Event));
            break;
        default:
            break;
        }
    }
    return TWizardForm::eventFilter(Watched, Event);
}

void TMainForm::MaskHelpButtonClick() {
    if (!maskHelp_)
        maskHelp_ = new TMaskHelpForm(this);
    maskHelp_->ShowBeside(this);
}

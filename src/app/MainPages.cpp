// The main window's welcome panel and pages: their texts, controls and layout.
#include "app/AppEntry.h"
#include "app/Main.h"
#include "model/CodePages.h"
#include "panels/CheckListFrame.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/YearCriterionListFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextEdit>
#include <QVBoxLayout>

const char* const RecurseCaption =
    "Search for media files in the subfolders of the folders specified";
const char* const ThoroughID3CheckCaption = "Attempt to extract and verify media info (ID3 tags) "
                                            "from all files, not just those with the 'mp3' "
                                            "extension";
const char* const IncludeTaglessFilesCaption =
    "Include files for which no media info (ID3 tags) can be found";
const char* const TagCodePageCaption = "Text in tags without a declared encoding:";
const char* const ReadOtherFormatsCaption =
    "Read tags of other audio formats (FLAC, Ogg, Opus, MP4, WMA, WAV, AIFF, APE)";
const char* const RememberTagsCaption = "Remember tags between compiles";
const char* const CriteriaAdvice =
    "A file is taken when one of its tags matches an include mask. Add one on the Titles, "
    "Artists, Albums, Genres or Years page (the title mask * takes every tagged file; the "
    "button below adds it), or turn on \"Include files for which no media info (ID3 tags) can "
    "be found\" on the Options page to take files without tags.";

namespace {
constexpr int PageLeft = 24;
constexpr int PageTop = 16;
constexpr int ContentWidth = 550;
constexpr int WelcomeTextLeft = 296;

QLabel* WrappedLabel(const QString& Name, const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QVBoxLayout* PageLayout(QWidget* Page) {
    auto* layout = new QVBoxLayout(Page);
    layout->setContentsMargins(PageLeft, PageTop, 609 - PageLeft - ContentWidth, 10);
    layout->setSpacing(8);
    return layout;
}

void AddLeft(QVBoxLayout* Layout, QWidget* Widget) {
    Layout->addWidget(Widget, 0, Qt::AlignLeft);
}

const char* const FieldWords[CriterionFieldCount] = {
    "title",        "artist",   "album",  "genre",  "year",
    "album artist", "composer", "format", "length", "modification time"};

QString CriterionExplanation(const QString& Word) {
    return QString("Add, remove, and edit the %1 masks below. Media files found with media info "
                   "will have their %1s matched to these masks - only files which meet the %1 "
                   "criteria listed will be added to the playlist. Use the boxes next to each %1 "
                   "mask and the Include All, Exclude All and Ignore All commands to specify "
                   "whether media files with matching %1s should be included in the playlist. "
                   "The complete list of %1 masks (regardless of whether they are set to be "
                   "included, excluded or ignored) is stored for future playlist compilations.")
        .arg(Word);
}

// A check box does not wrap its caption; where the font is too wide for the
// page, the caption is broken at a blank so that none of it is cut off.
QCheckBox* WrappedCheckBox(const QString& Name, const QString& Caption, QWidget* Parent) {
    auto* box = new QCheckBox(Caption, Parent);
    box->setObjectName(Name);
    const int room = ContentWidth - 28;
    const QFontMetrics metrics(Parent->font());
    if (metrics.horizontalAdvance(Caption) > room) {
        QString wrapped = Caption;
        for (int blank = Caption.lastIndexOf(' '); blank > 0;
             blank = Caption.lastIndexOf(' ', blank - 1))
            if (metrics.horizontalAdvance(Caption.left(blank)) <= room) {
                wrapped[blank] = '\n';
                break;
            }
        box->setText(wrapped);
    }
    return box;
}

void TuneListPanel(TCheckList* Panel, int Rows, bool PageScope = true) {
    Panel->CaptionLabel()->hide();
    Panel->SetCommandBarRows(Rows);
    Panel->setMinimumHeight(150);
    // The panel's shortcuts act wherever the focus is on its page (not where
    // panels share a page, which would make every shortcut ambiguous).
    if (PageScope)
        Panel->AddShortcutScope(Panel->parentWidget());
}
} // namespace

QPushButton* TMainForm::MakeMaskHelpButton(QWidget* Page) {
    auto* button = new QPushButton("Mask Help", Page);
    button->setObjectName("MaskHelpButton");
    button->setFixedSize(75, 25);
    connect(button, &QPushButton::clicked, this, [this] { MaskHelpButtonClick(); });
    MaskHelpButtons.push_back(button);
    return button;
}

void TMainForm::BuildWelcomePanel() {
    QWidget* panel = WelcomePagePanel();
    auto place = [&](const char* Name, const QString& Text, int Top, int Width, int PointSize,
                     bool Bold) {
        QLabel* label = WrappedLabel(Name, Text, panel);
        label->setAttribute(Qt::WA_TranslucentBackground);
        QFont face = font();
        if (PointSize)
            face.setPointSize(PointSize);
        face.setBold(Bold);
        label->setFont(face);
        QPalette ink = label->palette();
        ink.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(ink);
        label->setGeometry(WelcomeTextLeft, Top, Width, label->heightForWidth(Width));
        return label;
    };
    place("AppTitle", "Morvane", 24, 297, 14, true);
    place("AppVersion", QStringLiteral("Version %1").arg(ProgramVersion()), 56, 297, 12, true);
    QLabel* label6 =
        place("Label6",
              "This tool enables you to create and save playlists which can be used in "
              "common media player applications.",
              216, 297, 0, false);
    // A wider font than the reference one wraps onto more lines; keep the gap.
    place("Label14",
          "Media files can be searched for and added to a playlist, according to criteria which "
          "you specify.",
          std::max(256, label6->geometry().bottom() + 7), 297, 0, false);
    place("Label11", "Use the Next command to continue.", 408, 273, 0, false);
}

void TMainForm::BuildFoldersPage() {
    auto* page = new TWizardPage("FoldersPage", "Folders",
                                 "Select the folders to search for media files in");
    QVBoxLayout* layout = PageLayout(page);
    layout->addWidget(WrappedLabel(
        "Label2",
        "Add, remove, and edit the folders to be searched for media files below. Use the check "
        "boxes and the checking commands to select which of the listed folders are to be searched "
        "for the playlist currently being compiled. The complete list of folders (both checked "
        "and unchecked) is stored for future playlist compilations.",
        page));
    layout->addWidget(WrappedLabel("Label3",
                                   "Folders are searched in the order they appear in the list. To "
                                   "reorder the list simply drag the folders around with the "
                                   "mouse.",
                                   page));
    Folders = new TFolderCheckList("Folders", page);
    TuneListPanel(Folders, 2);
    layout->addWidget(Folders, 1);
    Recurse = WrappedCheckBox("Recurse", RecurseCaption, page);
    Recurse->setChecked(true);
    layout->addWidget(Recurse);
    AddPage(page);
}

void TMainForm::BuildFileNamesPage() {
    auto* page = new TWizardPage("FileNamesPage", "Filenames",
                                 "Select the filenames you want to include in the playlist");
    QVBoxLayout* layout = PageLayout(page);
    layout->addWidget(WrappedLabel(
        "Label5",
        "Add, remove, and edit the filename masks below. Files in the specified folders will have "
        "their filenames matched to these masks - only files which have matching filenames will "
        "be added to the playlist. Use the check boxes and the checking commands to select which "
        "of the listed filename masks are to be used. The complete list of filename masks (both "
        "checked and unchecked) is stored for future playlist compilations.",
        page));
    AddLeft(layout, MakeMaskHelpButton(page));
    Filenames = new TCheckList("Filenames", page);
    TuneListPanel(Filenames, 2);
    layout->addWidget(Filenames, 1);
    ThoroughID3Check = WrappedCheckBox("ThoroughID3Check", ThoroughID3CheckCaption, page);
    layout->addWidget(ThoroughID3Check);
    AddPage(page);
}

void TMainForm::BuildCriterionPage(int Field) {
    const QString word = FieldWords[Field];
    const QString list = CriterionListNames[Field];
    auto* page = new TWizardPage(
        list + "Page", list, QString("Select the %1s you want to include or exclude").arg(word));
    QVBoxLayout* layout = PageLayout(page);
    auto* label = WrappedLabel(QString("Label%1").arg(list), CriterionExplanation(word), page);
    layout->addWidget(label);
    AddLeft(layout, MakeMaskHelpButton(page));

    TCriterionList* panel =
        Field == FieldYear ? new TYearCriterionList(list, page) : new TCriterionList(list, page);
    TuneListPanel(panel, 2);
    layout->addWidget(panel, 1);
    CriterionLists[Field] = panel;

    auto* rule = new QComboBox(page);
    rule->setObjectName(list + "Rule");
    rule->addItems({QString("Inclusion of %1s should take precedence over exclusion").arg(word),
                    QString("Exclusion of %1s should take precedence over inclusion").arg(word),
                    QString("Precedence should be determined by order of %1 criteria").arg(word)});
    rule->setMinimumWidth(313);
    rule->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    rule->setCurrentIndex(0);
    AddLeft(layout, rule);
    FieldRules[Field] = rule;
    AddPage(page);
}

namespace {

// What each field of the More criteria page takes, under its chooser.
const char* const MoreFieldHints[CriterionFieldCount - ClassicFieldCount] = {
    "Album artist masks, as the tag gives it (every value of it): \"Various*\".",
    "Composer masks, as the tag gives it (every value of it): \"*Bach*\".",
    "Format masks, by what the file holds whatever its name: MP3, FLAC, Opus, Vorbis, AAC, "
    "ALAC, WMA, WAV, AIFF, APE, WavPack, Musepack.",
    "Ranges of lengths: 2:30..4:00, ..2:30 (at most), 10:00.. (at least); the length as the "
    "playlist shows it.",
    "\"30 days\" (modified within the last 30 days) or a range of dates: "
    "2024-01-01..2024-06-30, ..2023-12-31, 2024-01-01.."};

} // namespace

void TMainForm::BuildMoreCriteriaPage() {
    auto* page = new TWizardPage("MoreCriteriaPage", "More criteria",
                                 "Select more fields of the files to include or exclude");
    QVBoxLayout* layout = PageLayout(page);
    layout->addWidget(WrappedLabel(
        "LabelMoreCriteria",
        "Media files found with media info can also be matched by their album artist, "
        "composer, format, length or modification time. Choose a field, then add its entries "
        "and set each to be included, excluded or ignored, as on the pages before. Fields "
        "without entries take no part.",
        page));
    auto* chooserRow = new QHBoxLayout;
    auto* chooserLabel = new QLabel("&Field:", page);
    chooserLabel->setObjectName("MoreFieldLabel");
    MoreField = new QComboBox(page);
    MoreField->setObjectName("MoreField");
    // Room for "Album Artist (999)".
    MoreField->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    MoreField->setMinimumContentsLength(18);
    chooserLabel->setBuddy(MoreField);
    chooserRow->addWidget(chooserLabel);
    chooserRow->addWidget(MoreField);
    chooserRow->addSpacing(12);
    chooserRow->addWidget(MakeMaskHelpButton(page));
    chooserRow->addStretch(1);
    layout->addLayout(chooserRow);
    auto* hint = WrappedLabel("MoreFieldHint", QString(), page);
    layout->addWidget(hint);

    MoreLists = new QStackedWidget(page);
    MoreLists->setObjectName("MoreLists");
    MoreRules = new QStackedWidget(page);
    MoreRules->setObjectName("MoreRules");
    for (int field = ClassicFieldCount; field < CriterionFieldCount; ++field) {
        const QString word = FieldWords[field];
        const QString list = CriterionListNames[field];
        MoreField->addItem(CriterionFieldNames[field]);
        TCriterionList* panel = nullptr;
        if (field == FieldLength)
            panel = new TFormCriterionList(list, LengthEntryForm(), MoreLists);
        else if (field == FieldModified)
            panel = new TFormCriterionList(list, ModifiedEntryForm(), MoreLists);
        else
            panel = new TCriterionList(list, MoreLists);
        panel->SetItemNoun(field == FieldLength     ? QString("length range")
                           : field == FieldModified ? QString("modified entry")
                                                    : word + " mask");
        TuneListPanel(panel, 2, false);
        MoreLists->addWidget(panel);
        CriterionLists[field] = panel;
        // The chooser says which fields hold entries: "Length (2)".
        connect(panel, &TCheckList::EntriesChanged, this, [this, field, panel] {
            const int count = panel->Count();
            MoreField->setItemText(
                field - ClassicFieldCount,
                count ? QString("%1 (%2)").arg(CriterionFieldNames[field]).arg(count)
                      : QString(CriterionFieldNames[field]));
        });

        const QString plural = field == FieldModified ? QString("modification times") : word + "s";
        auto* rule = new QComboBox(MoreRules);
        rule->setObjectName(QString(list).remove(' ') + "Rule");
        rule->addItems(
            {QString("Inclusion by %1 should take precedence over exclusion").arg(plural),
             QString("Exclusion by %1 should take precedence over inclusion").arg(plural),
             QString("Precedence should be determined by order of %1 criteria").arg(word)});
        rule->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        rule->setCurrentIndex(0);
        auto* ruleBox = new QWidget(MoreRules);
        auto* ruleRow = new QHBoxLayout(ruleBox);
        ruleRow->setContentsMargins(0, 0, 0, 0);
        ruleRow->addWidget(rule);
        ruleRow->addStretch(1);
        MoreRules->addWidget(ruleBox);
        FieldRules[field] = rule;
    }
    layout->addWidget(MoreLists, 1);
    layout->addWidget(MoreRules);
    connect(MoreField, &QComboBox::currentIndexChanged, this,
            [this](int Index) { ShowMoreField(ClassicFieldCount + Index); });
    connect(MoreField, &QComboBox::currentIndexChanged, hint, [hint](int Index) {
        if (Index >= 0 && Index < CriterionFieldCount - ClassicFieldCount)
            hint->setText(MoreFieldHints[Index]);
    });
    hint->setText(MoreFieldHints[0]);
    AddPage(page);
}

void TMainForm::ShowMoreField(int Field) {
    const int index = Field - ClassicFieldCount;
    if (index < 0 || index >= MoreLists->count())
        return;
    if (MoreField->currentIndex() != index)
        MoreField->setCurrentIndex(index);
    MoreLists->setCurrentIndex(index);
    MoreRules->setCurrentIndex(index);
}

void TMainForm::BuildOptionsPage() {
    auto* page = new TWizardPage("OptionsPage", "Options", "Select the search options");
    QVBoxLayout* layout = PageLayout(page);
    layout->addWidget(WrappedLabel(
        "Label13",
        "Select the path of behaviour that should be taken when a media file is found that meets "
        "conflicting criteria - for example, when a media file found is to be included according "
        "to the title criteria and excluded according to the artist criteria. If you specify that "
        "precedence should be determined by order of criteria, you can specify the order by "
        "dragging the criteria around in the list with the mouse.",
        page));

    auto* frame = new QGroupBox(page);
    frame->setObjectName("OrderFrame");
    frame->setFixedWidth(545);
    // The rule's longest line needs more room than beside the list, so the
    // list goes below it.
    auto* row = new QVBoxLayout(frame);
    row->setContentsMargins(16, 16, 16, 12);
    row->setSpacing(8);
    OrderRule = new QComboBox(frame);
    OrderRule->setObjectName("OrderRule");
    OrderRule->addItems({"Inclusion of media files in playlist should take precedence over "
                         "exclusion",
                         "Exclusion of media files in playlist should take precedence over "
                         "inclusion",
                         "Precedence should be determined by order of criteria"});
    OrderRule->setMinimumWidth(377);
    OrderRule->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(OrderRule, 0, Qt::AlignLeft);
    Order = new QListWidget(frame);
    Order->setObjectName("Order");
    for (const char* name : CriterionFieldNames)
        Order->addItem(name);
    Order->setSelectionMode(QAbstractItemView::SingleSelection);
    Order->setDragEnabled(false);
    // Seven rows show; the rest of the More criteria page's fields scroll into view.
    Order->setFixedWidth(125);
    Order->setFixedHeight(7 * Order->sizeHintForRow(0) + 2 * Order->frameWidth() + 2);
    Order->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Order->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Order->viewport()->installEventFilter(this);
    Order->installEventFilter(this); // Ctrl+Up / Ctrl+Down move the selected field
    row->addWidget(Order, 0, Qt::AlignLeft);
    connect(OrderRule, &QComboBox::currentIndexChanged, this, [this] { OrderRuleChange(); });
    AddLeft(layout, frame);

    IncludeTaglessFiles = WrappedCheckBox("IncludeTaglessFiles", IncludeTaglessFilesCaption, page);
    layout->addWidget(IncludeTaglessFiles);
    ReadOtherFormats = WrappedCheckBox("ReadOtherFormats", ReadOtherFormatsCaption, page);
    ReadOtherFormats->setChecked(true);
    layout->addWidget(ReadOtherFormats);
    auto* rememberRow = new QHBoxLayout;
    RememberTags = WrappedCheckBox("RememberTags", RememberTagsCaption, page);
    RememberTags->setChecked(true);
    rememberRow->addWidget(RememberTags, 1);
    ForgetTags = new QPushButton("Forget remembered tags", page);
    ForgetTags->setObjectName("ForgetTags");
    connect(ForgetTags, &QPushButton::clicked, this, [this] { ForgetTagsClick(); });
    rememberRow->addWidget(ForgetTags);
    layout->addLayout(rememberRow);

    auto* codePageRow = new QHBoxLayout;
    codePageRow->addWidget(WrappedLabel(
        "TagCodePageLabel",
        "Code page of tag text without a declared encoding (a non-Latin page reads only text "
        "that looks written in it, the rest as Western):",
        page));
    TagCodePage = new QComboBox(page);
    TagCodePage->setObjectName("TagCodePage");
    for (const TTagCodePage& codePage : TagCodePages)
        TagCodePage->addItem(
            QString::fromUtf8(codePage.Label.data(), qsizetype(codePage.Label.size())),
            QString::fromUtf8(codePage.Name.data(), qsizetype(codePage.Name.size())));
    TagCodePage->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    codePageRow->addWidget(TagCodePage);
    codePageRow->addStretch(1);
    layout->addLayout(codePageRow);
    layout->addStretch(1);
    AddPage(page);
}

void TMainForm::BuildSummaryPage() {
    auto* page =
        new TWizardPage("SummaryPage", "Summary", "Review settings before compilation of playlist");
    QVBoxLayout* layout = PageLayout(page);
    layout->addWidget(WrappedLabel(
        "Label10", "Use the Back command to go back and change the search settings if necessary.",
        page));
    Summary = new QTextEdit(page);
    Summary->setObjectName("Summary");
    Summary->setReadOnly(true);
    Summary->setAcceptRichText(false);
    Summary->setLineWrapMode(QTextEdit::WidgetWidth);
    Summary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Summary->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette face = Summary->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    Summary->setPalette(face);
    Summary->setTabStopDistance(32);
    layout->addWidget(Summary, 1);
    IncludeEveryTitle = new QPushButton("Include every &title", page);
    IncludeEveryTitle->setObjectName("IncludeEveryTitle");
    IncludeEveryTitle->setToolTip("Adds the title mask * as an include: every file with a tag "
                                  "is taken unless another criterion excludes it.");
    IncludeEveryTitle->hide();
    connect(IncludeEveryTitle, &QPushButton::clicked, this, [this] { IncludeEveryTitleClick(); });
    layout->addWidget(IncludeEveryTitle, 0, Qt::AlignLeft);

    SummaryMenu = new QMenu(Summary);
    SummaryMenu->setObjectName("SummaryMenu");
    Copy1 = SummaryMenu->addAction("&Copy", this, [this] { Copy1Click(); });
    Copy1->setObjectName("Copy1");
    SummaryMenu->addSeparator();
    SelectAll1 = SummaryMenu->addAction("Select &All", this, [this] { SelectAll1Click(); });
    SelectAll1->setObjectName("SelectAll1");
    Summary->setContextMenuPolicy(Qt::CustomContextMenu);
    Summary->installEventFilter(this); // Shift+F10
    connect(Summary, &QWidget::customContextMenuRequested, this, [this](const QPoint& At) {
        SummaryMenuPopup();
        SummaryMenu->popup(Summary->viewport()->mapToGlobal(At));
    });
    AddPage(page);
}

void TMainForm::BuildCompilePage() {
    auto* page =
        new TWizardPage("CompilePage", "Compile", "You are now ready to compile your playlist");
    QVBoxLayout* layout = PageLayout(page);
    layout->addWidget(WrappedLabel(
        "Label12",
        "Compile your playlist and save it using the relevant commands below. Only the media "
        "files which are checked will be put into the playlist. Selected media files can be "
        "previewed using the Play command.",
        page));
    CompileStatus = new QLabel("Ready to compile.", page);
    CompileStatus->setObjectName("CompileStatus");
    CompileStatus->setTextFormat(Qt::PlainText);
    // One-line labels of a fixed size: their texts change once per folder or
    // per file, and a label whose size follows its text would lay the whole
    // window out again each time.
    const int lineHeight = CompileStatus->fontMetrics().height() + 4;
    CompileStatus->setFixedSize(ContentWidth, lineHeight);
    layout->addWidget(CompileStatus);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(13);
    Compile = new QPushButton("Compile", page);
    Compile->setObjectName("Compile");
    Compile->setFixedSize(75, 25);
    Compile->setDefault(true);
    Save = new QPushButton("Save", page);
    Save->setObjectName("Save");
    Save->setFixedSize(75, 25);
    RemoveDuplicates = new QPushButton("Remove Duplicates", page);
    RemoveDuplicates->setObjectName("RemoveDuplicates");
    RemoveDuplicates->setFixedHeight(25);
    buttons->addWidget(Compile);
    buttons->addWidget(Save);
    buttons->addWidget(RemoveDuplicates);
    ShowDroppedFiles = new QCheckBox("Show dropped files", page);
    ShowDroppedFiles->setObjectName("ShowDroppedFiles");
    ShowDroppedFiles->setToolTip("List the files a filename mask selected but the criteria or "
                                 "tag rules dropped, with the reason; they are never saved");
    buttons->addWidget(ShowDroppedFiles);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(Compile, &QPushButton::clicked, this, [this] { CompileClick(); });
    // Compile is the page's default button: Enter anywhere on the page presses
    // it, except on another button, which Enter presses instead, and in the
    // result list, where it plays the selected file (Enter must never start a
    // compile from there: a compile empties the list).
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* shortcut = new QShortcut(key, page);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, Compile, [this] {
            QWidget* focused = QApplication::focusWidget();
            if (auto* button = qobject_cast<QAbstractButton*>(focused))
                button->click();
            else if (focused && Playlist->isAncestorOf(focused))
                Playlist->Action(TListCommand::Play)->trigger();
            else
                Compile->click();
        });
    }
    connect(Save, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(RemoveDuplicates, &QPushButton::clicked, this, [this] { RemoveDuplicatesClick(); });
    // Dropped files are kept whether shown or not, so the switch needs no new compile.
    connect(ShowDroppedFiles, &QCheckBox::toggled, this, [this](bool On) {
        Playlist->SetDroppedShown(On);
        UpdatePlaylistCheckCount();
    });

    Playlist = new TMediaFileCheckList("Playlist", page);
    Playlist->CaptionLabel()->hide();
    Playlist->SetPersistent(false);
    Playlist->setMinimumHeight(150);
    Playlist->AddShortcutScope(page);
    Playlist->SetDroppedShown(false);
    auto* savePlaylist = new QAction("Save Playlist...", Playlist);
    savePlaylist->setObjectName("SavePlaylist");
    connect(savePlaylist, &QAction::triggered, this, [this] { SaveClick(); });
    auto* removeDuplicates = new QAction("Remove Duplicates", Playlist);
    removeDuplicates->setObjectName("RemoveDuplicatesCommand");
    connect(removeDuplicates, &QAction::triggered, this, [this] { RemoveDuplicatesClick(); });
    Playlist->AddMenuCommands({savePlaylist, removeDuplicates});
    layout->addWidget(Playlist, 1);

    PlaylistCheckCount = new QLabel(page);
    PlaylistCheckCount->setObjectName("PlaylistCheckCount");
    PlaylistCheckCount->setTextFormat(Qt::PlainText);
    PlaylistCheckCount->setFixedSize(ContentWidth, lineHeight);
    // The two lines keep a fixed size, so a new text lays nothing out again;
    // the page sets their width when the window is resized.
    page->installEventFilter(this);
    layout->addWidget(PlaylistCheckCount);
    AddPage(page);
}

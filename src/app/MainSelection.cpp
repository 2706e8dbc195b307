// The Order and limits page: the playlist's order, a limit with the files
// that fill it, caps per artist and per album, and the shuffle's seed.
#include "app/Main.h"
#include "model/Selection.h"
#include "panels/TextDisplay.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

const char* const OrderChoices[] = {
    "Artist, Album, Track", "Album, Track", "Title", "Year desc, Artist, Album, Track",
    "Modified desc",        "Shuffle"};
// In the order of TLimitUnit.
const char* const LimitUnitNames[] = {"no limit", "files", "minutes", "MB"};
// In the order of TPick.
const char* const PickNames[] = {"the first files in the order", "files at random",
                                 "the newest files", "the oldest files"};

QLabel* PageLabel(const QString& Name, const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// A label beside a control of the grid: level with the control's text.
QLabel* RowLabel(const QString& Name, const QString& Text, QWidget* Parent) {
    QLabel* label = PageLabel(Name, Text, Parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QSpinBox* CountBox(const QString& Name, QWidget* Parent) {
    auto* box = new QSpinBox(Parent);
    box->setObjectName(Name);
    box->setRange(0, 1000000);
    box->setSpecialValueText(QStringLiteral("no cap"));
    box->setFixedWidth(90);
    return box;
}

} // namespace

void TMainForm::BuildSelectionPage() {
    auto* page = new TWizardPage("SelectionPage", "Order and limits",
                                 "Choose the playlist's order and how many files it takes");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 16, 35, 10);
    layout->setSpacing(8);
    layout->addWidget(PageLabel(
        "SelectionLabel",
        "The files the criteria take go into the playlist in the order the search finds them, "
        "unless you choose an order: field names separated by commas, each followed by desc "
        "to reverse it (Title, Artist, Album, Genre, Year, Track, Path, Length, Modified, "
        "Size), or Shuffle. A limit keeps the playlist within a number of files, minutes or "
        "megabytes, filled with the files you choose; the caps keep at most so many files of "
        "one artist or one album. Files left out are shown among the dropped files on the "
        "Compile page, with the reason.",
        page));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    grid->addWidget(RowLabel("PlaylistOrderLabel", "Order:", page), 0, 0);
    PlaylistOrder = new QComboBox(page);
    PlaylistOrder->setObjectName("PlaylistOrder");
    PlaylistOrder->setEditable(true);
    PlaylistOrder->setInsertPolicy(QComboBox::NoInsert);
    PlaylistOrder->addItem(QString());
    for (const char* choice : OrderChoices)
        PlaylistOrder->addItem(choice);
    PlaylistOrder->lineEdit()->setPlaceholderText("as found");
    PlaylistOrder->setMinimumWidth(300);
    auto* orderRow = new QHBoxLayout;
    orderRow->addWidget(PlaylistOrder);
    NewShuffle = new QPushButton("New shuffle", page);
    NewShuffle->setObjectName("NewShuffle");
    orderRow->addWidget(NewShuffle);
    orderRow->addStretch(1);
    grid->addLayout(orderRow, 0, 1);

    grid->addWidget(RowLabel("LimitLabel", "Limit:", page), 1, 0);
    auto* limitRow = new QHBoxLayout;
    LimitAmount = new QSpinBox(page);
    LimitAmount->setObjectName("LimitAmount");
    LimitAmount->setRange(1, 1000000);
    LimitAmount->setValue(60);
    LimitAmount->setFixedWidth(90);
    limitRow->addWidget(LimitAmount);
    LimitUnit = new QComboBox(page);
    LimitUnit->setObjectName("LimitUnit");
    for (const char* unit : LimitUnitNames)
        LimitUnit->addItem(unit);
    limitRow->addWidget(LimitUnit);
    limitRow->addWidget(RowLabel("LimitPickLabel", "filled with", page));
    LimitPick = new QComboBox(page);
    LimitPick->setObjectName("LimitPick");
    for (const char* pick : PickNames)
        LimitPick->addItem(pick);
    limitRow->addWidget(LimitPick);
    limitRow->addStretch(1);
    grid->addLayout(limitRow, 1, 1);

    grid->addWidget(RowLabel("PerArtistLabel", "At most per artist:", page), 2, 0);
    PerArtist = CountBox("PerArtist", page);
    grid->addWidget(PerArtist, 2, 1, Qt::AlignLeft);
    grid->addWidget(RowLabel("PerAlbumLabel", "At most per album:", page), 3, 0);
    PerAlbum = CountBox("PerAlbum", page);
    grid->addWidget(PerAlbum, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);

    ShuffleSeed = PageLabel("ShuffleSeed", QString(), page);
    layout->addWidget(ShuffleSeed);
    SelectionProblem = PageLabel("SelectionProblem", QString(), page);
    QPalette ink = SelectionProblem->palette();
    ink.setColor(QPalette::WindowText, QColor(255, 0, 0));
    SelectionProblem->setPalette(ink);
    layout->addWidget(SelectionProblem);
    layout->addStretch(1);

    connect(NewShuffle, &QPushButton::clicked, this, [this] { NewShuffleClick(); });
    connect(PlaylistOrder, &QComboBox::currentTextChanged, this, [this] { SelectionChange(); });
    connect(LimitUnit, &QComboBox::currentIndexChanged, this, [this] { SelectionChange(); });
    connect(LimitPick, &QComboBox::currentIndexChanged, this, [this] { SelectionChange(); });
    SelectionChange();
    AddPage(page);
}

TSelectionTexts TMainForm::SelectionTexts() const {
    TSelectionTexts texts;
    texts.Order = PlaylistOrder->currentText().trimmed().toStdString();
    texts.Seed = selectionSeed_;
    const auto unit = static_cast<TLimitUnit>(LimitUnit->currentIndex());
    if (unit != TLimitUnit::None)
        texts.Limit = LimitText({unit, static_cast<std::uint64_t>(LimitAmount->value())});
    const auto pick = static_cast<TPick>(LimitPick->currentIndex());
    if (pick != TPick::First)
        texts.Pick = PickText(pick);
    if (PerArtist->value() > 0)
        texts.PerArtist = std::to_string(PerArtist->value());
    if (PerAlbum->value() > 0)
        texts.PerAlbum = std::to_string(PerAlbum->value());
    return texts;
}

void TMainForm::ApplySelectionTexts(const TSelectionTexts& Texts) {
    // Filled as loaded: a random pick without a seed gets none here.
    applyingSelection_ = true;
    PlaylistOrder->setEditText(QString::fromStdString(Texts.Order));
    TLimit limit;
    if (ParseLimit(Texts.Limit, limit) && limit.Unit != TLimitUnit::None) {
        LimitAmount->setValue(static_cast<int>(std::min<std::uint64_t>(limit.Amount, 1000000)));
        LimitUnit->setCurrentIndex(static_cast<int>(limit.Unit));
    } else {
        LimitUnit->setCurrentIndex(0);
    }
    TPick pick = TPick::First;
    ParsePick(Texts.Pick, pick);
    LimitPick->setCurrentIndex(static_cast<int>(pick));
    std::uint32_t cap = 0;
    PerArtist->setValue(ParseCap(Texts.PerArtist, cap) ? static_cast<int>(cap) : 0);
    cap = 0;
    PerAlbum->setValue(ParseCap(Texts.PerAlbum, cap) ? static_cast<int>(cap) : 0);
    applyingSelection_ = false;
    selectionSeed_ = Texts.Seed;
    ShowSelectionState(false);
}

void TMainForm::NewShuffleClick() {
    selectionSeed_ = std::to_string(NewShuffleSeed());
    SelectionChange();
}

void TMainForm::SelectionChange() {
    if (!applyingSelection_)
        ShowSelectionState(true);
    // A limit or cap changes what the search finds.
    ScheduleCounts();
}

void TMainForm::ShowSelectionState(bool DrawSeed) {
    std::vector<std::string> problems;
    const TSelection selection = ReadSelection(SelectionTexts(), &problems);
    const bool random = selection.Order.Shuffle || selection.Pick == TPick::Random;
    // A random order or pick needs a seed to stay the same from one compile to the next.
    if (DrawSeed && random && selectionSeed_.empty())
        selectionSeed_ = std::to_string(NewShuffleSeed());
    LimitAmount->setEnabled(selection.Limit.Unit != TLimitUnit::None);
    LimitPick->setEnabled(selection.Limit.Unit != TLimitUnit::None);
    NewShuffle->setEnabled(random);
    ShuffleSeed->setText(random ? QString("The shuffle's seed is %1; New shuffle draws another.")
                                      .arg(QString::fromStdString(selectionSeed_))
                                : QString());
    QStringList lines;
    for (const std::string& problem : problems)
        lines << DisplayText(problem);
    SelectionProblem->setText(lines.join('\n'));
}

void TMainForm::AppendSelectionSummary(const WizardSettings& Settings) {
    if (Settings.Selection == TSelectionTexts{})
        return;
    std::vector<std::string> problems;
    const TSelection selection = ReadSelection(Settings.Selection, &problems);
    AppendSummaryLine("Order and limits:");
    for (const std::string& problem : problems)
        AddSummaryError("\t" + DisplayText(problem));
    if (selection.Order.Shuffle)
        AppendSummaryLine(
            QString("\tShuffled (seed %1)").arg(QString::fromStdString(Settings.Selection.Seed)));
    else if (!selection.Order.Keys.empty())
        AppendSummaryLine("\tOrdered by " + QString::fromStdString(OrderText(selection.Order)));
    else
        AppendSummaryLine("\tIn the order found");
    if (selection.Limit.Unit != TLimitUnit::None)
        AppendSummaryLine(QString("\tAt most %1, filled with %2")
                              .arg(QString::fromStdString(LimitText(selection.Limit)),
                                   PickNames[static_cast<int>(selection.Pick)]));
    if (selection.PerArtist > 0)
        AppendSummaryLine(QString("\tAt most %1 per artist").arg(selection.PerArtist));
    if (selection.PerAlbum > 0)
        AppendSummaryLine(QString("\tAt most %1 per album").arg(selection.PerAlbum));
    AppendSummaryLine(QString());
}

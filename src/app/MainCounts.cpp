// What each rule does, shown while the user writes the rules: counts beside the
// entries of the Filenames and criterion pages, the total and each entry's
// decisions on the Summary, and a line with a progress bar at the bottom while
// the tag index is filled for them. The counting runs on a thread of its own
// (TCountsController); the window only asks and shows.
#include "app/CountsController.h"
#include "app/Main.h"
#include "engine/LengthReader.h"
#include "panels/CheckListFrame.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/TextDisplay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

namespace {

// An edit is counted this long after the last keystroke or click of a burst.
constexpr int CountsDelayMilliseconds = 30;

QString Number(std::uint64_t Value) {
    return QLocale().toString(static_cast<qulonglong>(Value));
}

QString Files(std::uint64_t Value) {
    return Number(Value) + (Value == 1 ? " file" : " files");
}

// What the counts say of an entry that matches nothing for its form.
QString MalformedCountText(int Field) {
    switch (Field) {
    case FieldLength:
        return QStringLiteral("Not a range of lengths: it matches nothing");
    case FieldModified:
        return QStringLiteral("Neither days nor dates: it matches nothing");
    default:
        return QStringLiteral("The mask cannot be read");
    }
}

} // namespace

void TMainForm::BuildCounts() {
    countsController_ = std::make_unique<TCountsController>(
        [this](const TSearchCounts& Counts, std::uint64_t Generation, bool Final) {
            ShowCounts(Counts, Generation, Final);
        },
        [this](std::size_t Done, std::size_t Wanted) { ShowCountsProgress(Done, Wanted); });
    countsTimer_ = new QTimer(this);
    countsTimer_->setSingleShot(true);
    countsTimer_->setInterval(CountsDelayMilliseconds);
    connect(countsTimer_, &QTimer::timeout, this, [this] { RequestCounts(); });

    CountsStatus = new QLabel(this);
    CountsStatus->setObjectName("CountsStatus");
    CountsProgress = new QProgressBar(this);
    CountsProgress->setObjectName("CountsProgress");
    CountsProgress->setMaximumWidth(160);
    CountsProgress->setMaximumHeight(14);
    CountsProgress->setTextVisible(false);
    ResizeBar()->addWidget(CountsStatus, 1);
    ResizeBar()->addPermanentWidget(CountsProgress);
    CountsStatus->hide();
    CountsProgress->hide();

    Filenames->ShowCountColumn();
    for (TCriterionList* list : CriterionLists)
        list->ShowCountColumn();

    // Whatever the counts depend on asks for them again.
    for (TCheckList* list : std::initializer_list<TCheckList*>{Folders, Filenames}) {
        connect(list, &TCheckList::EntriesChanged, this, [this] { ScheduleCounts(); });
        connect(list, &TCheckList::CheckStateChanged, this, [this] { ScheduleCounts(); });
    }
    for (TCriterionList* list : CriterionLists) {
        connect(list, &TCheckList::EntriesChanged, this, [this] { ScheduleCounts(); });
        connect(list, &TCheckList::CheckStateChanged, this, [this] { ScheduleCounts(); });
    }
    for (QCheckBox* box :
         {Recurse, ThoroughID3Check, IncludeTaglessFiles, ReadOtherFormats, RememberTags})
        connect(box, &QCheckBox::toggled, this, [this] { ScheduleCounts(); });
    for (QComboBox* box : FieldRules)
        connect(box, &QComboBox::currentIndexChanged, this, [this] { ScheduleCounts(); });
    connect(OrderRule, &QComboBox::currentIndexChanged, this, [this] { ScheduleCounts(); });
    connect(TagCodePage, &QComboBox::currentIndexChanged, this, [this] { ScheduleCounts(); });
    connect(Order->model(), &QAbstractItemModel::rowsMoved, this, [this] { ScheduleCounts(); });
    connect(Pages(), &QStackedWidget::currentChanged, this, [this] { ScheduleCounts(); });
    for (QSpinBox* box : {LimitAmount, PerArtist, PerAlbum})
        connect(box, &QSpinBox::valueChanged, this, [this] { ScheduleCounts(); });
}

void TMainForm::ScheduleCounts() {
    if (!countsController_ || destroyed_)
        return;
    // Counts still on their way are of the settings before this edit.
    countsCurrent_ = false;
    countsAsked_ = 0;
    Filenames->Model()->SetCountsStale();
    for (TCriterionList* list : CriterionLists)
        list->Model()->SetCountsStale();
    countsTimer_->start();
}

void TMainForm::RequestCounts() {
    // Counted from the Filenames page to the Summary: by then there are
    // folders to count in, and the Compile page has its own list.
    const bool counting = WelcomePagePanel()->isHidden() && PageIndex() >= FileNamesPage &&
                          PageIndex() <= SummaryPage;
    CountsStatus->setVisible(counting);
    if (!counting) {
        CountsProgress->hide();
        return;
    }
    countsAsked_ = countsController_->Request(CurrentSettings(), TagIndex());
    if (!countsShown_)
        CountsStatus->setText(QStringLiteral("Counting…"));
}

void TMainForm::ShowCountsProgress(std::size_t Done, std::size_t Wanted) {
    if (destroyed_ || Wanted == 0)
        return;
    CountsProgress->setVisible(Done < Wanted && CountsStatus->isVisible());
    CountsProgress->setMaximum(static_cast<int>(std::min<std::size_t>(Wanted, 1 << 30)));
    CountsProgress->setValue(static_cast<int>(std::min(Done, Wanted)));
}

void TMainForm::ShowCounts(const TSearchCounts& Counts, std::uint64_t Generation, bool Final) {
    if (destroyed_)
        return;
    const bool current = Generation == countsAsked_;
    shownCounts_ = Counts;
    countsShown_ = true;
    countsCurrent_ = current && Final;
    const bool stale = !countsCurrent_;

    const auto matchedText = [](const TEntryCount& Count) {
        return Count.Malformed ? QStringLiteral("—") : Number(Count.Matched);
    };
    {
        std::vector<QString> texts, tips;
        for (const TEntryCount& count : Counts.Masks) {
            texts.push_back(matchedText(count));
            tips.push_back(count.Malformed ? QStringLiteral("The mask cannot be read.")
                                           : "Matches " + Files(count.Matched) +
                                                 " of the search folders; the first mask of " +
                                                 Files(count.Decided) + ".");
        }
        Filenames->Model()->SetCounts(std::move(texts), std::move(tips), stale);
    }
    for (int field = 0; field < CriterionFieldCount; ++field) {
        std::vector<QString> texts, tips;
        for (const TEntryCount& count : Counts.Criteria[field]) {
            texts.push_back(matchedText(count));
            tips.push_back(count.Malformed ? MalformedCountText(field) + '.'
                                           : "Matches " + Files(count.Matched) +
                                                 " of those whose tags are read; decides " +
                                                 Files(count.Decided) + ".");
        }
        CriterionLists[field]->Model()->SetCounts(std::move(texts), std::move(tips), stale);
    }

    if (Counts.Complete()) {
        CountsStatus->setText("The search finds " + Files(Counts.Found) + " now.");
        CountsProgress->hide();
    } else {
        const std::uint64_t share = Counts.Wanted ? Counts.Known * 100 / Counts.Wanted : 0;
        CountsStatus->setText(QStringLiteral("Counting… %1 % of the files read").arg(share));
    }
    if (WelcomePagePanel()->isHidden() && PageIndex() == SummaryPage && current)
        BuildSummary();
}

void TMainForm::AppendCountsTotal() {
    if (!countsShown_)
        return;
    const TSearchCounts& counts = shownCounts_;
    QString line = "The search finds " + Files(counts.Found) + " now";
    if (counts.Lengths > 0) {
        line +=
            ", " + QString::fromStdString(FormatLength(static_cast<std::int64_t>(counts.LengthMs)));
        if (counts.Lengths < counts.Found)
            line += " (of the " + Number(counts.Lengths) + " whose length is known)";
    }
    line += '.';
    if (!counts.Complete())
        line += QStringLiteral(" Counting… %1 % of the files read.")
                    .arg(counts.Wanted ? counts.Known * 100 / counts.Wanted : 0);
    AppendSummaryLine(line);
}

void TMainForm::AppendCountsBlock(const WizardSettings& Settings) {
    if (!countsShown_)
        return;
    const TSearchCounts& counts = shownCounts_;
    AppendSummaryLine("What each rule does:");
    const auto entryLine = [&](int Field, const QString& List, const std::string& Caption,
                               const QString& State, const TEntryCount& Count) {
        QString line = "\t" + List + " \"" + DisplayText(Caption) + "\" (" + State + "): ";
        if (Count.Malformed)
            line += MalformedCountText(Field).toLower();
        else
            line += "matches " + Number(Count.Matched) + ", decides " + Number(Count.Decided);
        if (!Count.Malformed && Count.Decided == 0 && State != "ignore" && State != "unchecked")
            line += " — decides nothing";
        AppendSummaryLine(line);
    };
    for (std::size_t e = 0; e < Settings.Filenames.size() && e < counts.Masks.size(); ++e)
        entryLine(-1, "Filenames", Settings.Filenames[e].Caption,
                  Settings.Filenames[e].State == CheckState::Checked ? "checked" : "unchecked",
                  counts.Masks[e]);
    for (int field = 0; field < CriterionFieldCount; ++field)
        for (std::size_t e = 0;
             e < Settings.Criteria[field].size() && e < counts.Criteria[field].size(); ++e)
            entryLine(field, CriterionListNames[field], Settings.Criteria[field][e].Caption,
                      CountsStateWord(Settings.Criteria[field][e].State),
                      counts.Criteria[field][e]);
    AppendSummaryLine(QString());
}

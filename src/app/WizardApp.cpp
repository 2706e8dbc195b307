// The wizard's start-up, and the offscreen rendering of its panels for review.
#include "app/AppEntry.h"
#include "app/Artwork.h"
#include "app/HelpFrm.h"
#include "app/Main.h"
#include "app/MaskHelp.h"
#include "app/SaveRecovery.h"
#include "media/MediaUtils.h"
#include "panels/CriterionListFrame.h"
#include "panels/Dialogs.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/TextDisplay.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {
void CentreOnScreen(QWidget& Window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect place = Window.frameGeometry();
        place.moveCenter(screen->availableGeometry().center());
        Window.move(place.topLeft());
    }
}
} // namespace

int RunWizard(const std::string& SettingsFile, bool NoIndex, const std::string& SearchFile) {
    QApplication::setApplicationName("Morvane");
    QApplication::setWindowIcon(ApplicationIcon());
    // A save a killed run left half done (the settings file among them) is put
    // right before the settings are read.
    const std::vector<std::string> recovered = RecoverInterruptedSavesWithMessages();
    for (const std::string& message : recovered)
        std::fprintf(stderr, "morvane: %s\n", message.c_str());
    auto* mainForm = new TMainForm(SettingsFile);
    if (NoIndex)
        mainForm->DisableTagIndex();
    // Both help windows exist from the start, hidden; only the mask help is ever shown.
    auto* helpForm = new THelpForm(mainForm);
    auto* maskHelpForm = new TMaskHelpForm(mainForm);
    (void)helpForm;
    mainForm->SetMaskHelpForm(maskHelpForm);
    if (!SearchFile.empty()) {
        // The recent searches keep whole paths, whatever folder the program started in.
        std::string search = SearchFile;
        if (search[0] != '/') {
            char folder[4096];
            if (getcwd(folder, sizeof folder))
                search = std::string(folder) + "/" + search;
        }
        mainForm->OpenSearch(search);
    }
    QObject::connect(mainForm, &TMainForm::FormClosed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!mainForm->PlacementRestored())
        CentreOnScreen(*mainForm);
    mainForm->show();
    if (!recovered.empty()) {
        std::string text;
        for (const std::string& message : recovered)
            text += (text.empty() ? "" : "\n\n") + message;
        Dialogs().Warning(mainForm, QString::fromStdString(text));
    }
    QApplication::exec();
    // Destroying the window stores the settings (and shows an error box if it cannot).
    delete mainForm;
    return 0;
}

int RenderScreenshots(const std::string& SettingsFile, const QString& Folder) {
    if (!QDir().mkpath(Folder)) {
        std::fprintf(stderr, "morvane: cannot create %s\n", qPrintable(Folder));
        return 1;
    }
    TMainForm mainForm(SettingsFile);
    mainForm.SetStoreOnDestroy(false);
    mainForm.show();
    QApplication::processEvents();

    bool ok = true;
    auto shoot = [&](QWidget& Window, const QString& Name) {
        QApplication::processEvents();
        const QString file = QDir(Folder).filePath(Name + ".png");
        if (!Window.grab().save(file, "PNG")) {
            std::fprintf(stderr, "morvane: cannot write %s\n", qPrintable(file));
            ok = false;
        }
    };
    shoot(mainForm, "00-welcome");
    // A search folder on a drive that is not mounted: kept, greyed and marked.
    mainForm.Folders->AddEntry("/media/usb-drive/Music", true);
    mainForm.Folders->MarkMissingFolders();
    for (int page = 0; page < mainForm.PageCount(); ++page) {
        // Straight through every page, whether or not the summary lets Next go on.
        mainForm.NextClick();
        shoot(mainForm, QString("%1-%2")
                            .arg(page + 1, 2, 10, QChar('0'))
                            .arg(mainForm.CurrentPage()->objectName().toLower()));
    }
    mainForm.MaskHelpButtonClick();
    shoot(*mainForm.MaskHelpForm(), "13-maskhelp");
    mainForm.MaskHelpForm()->hide();

    // The Compile page with a list, at the default size and larger.
    const char* const artists[] = {"Ayla Brook", "The Quiet Hours", "Marlow", "Nine Rivers"};
    const char* const genres[] = {"Rock", "Folk", "Jazz", "Ambient"};
    // The files are made up, and so are their lengths: 2:00 to 5:59 by name.
    mainForm.Playlist->SetLengthRead([](const std::string& Path) {
        return std::int64_t{120000} +
               static_cast<std::int64_t>(std::hash<std::string>{}(Path) % 240) * 1000;
    });
    for (int i = 0; i < 40; ++i) {
        TMediaInfo info;
        info.Title = "Song number " + std::to_string(i + 1);
        info.Artist = artists[i % 4];
        info.Album = "Album " + std::string(1, static_cast<char>('A' + i / 10));
        info.Genre = genres[i % 4];
        info.Year = std::to_string(1990 + i % 20);
        info.Track = std::to_string(i % 10 + 1);
        info.Format = TContentFormat::MP3;
        mainForm.Playlist->AddMediaEntry("/home/user/Music/" + info.Artist + "/" + info.Album +
                                             "/" + std::to_string(i % 10 + 1) + " " + info.Title +
                                             ".mp3",
                                         info, i % 7 != 3);
    }
    // Two files the criteria dropped, shown by the switch.
    mainForm.ShowDroppedFiles->setChecked(true);
    TMediaInfo demo;
    demo.Title = "Intro (demo)";
    demo.Artist = "Marlow";
    mainForm.Playlist->AddDroppedEntry("/home/user/Music/Marlow/Extras/1 Intro (demo).mp3", demo,
                                       "Dropped: Title matches \"*demo*\" (exclude)");
    mainForm.Playlist->AddDroppedEntry(
        "/home/user/Music/Marlow/Extras/untitled.mp3", TMediaInfo{},
        "Dropped: .mp3 without a tag, and Include files for which no "
        "media info can be found is off");
    const TCheckListModel& rows = *mainForm.Playlist->Model();
    const auto unread = [&rows] {
        for (int row = 0; row < rows.Count(); ++row)
            if (rows.Length(row) == LengthNotRead)
                return true;
        return false;
    };
    mainForm.Playlist->Model()->Flush();
    for (int tries = 0; tries < 500 && unread(); ++tries)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    mainForm.Playlist->SetSelectedIndex(2);
    mainForm.Playlist->ListColumnClick(2);
    shoot(mainForm, "14-compile-list");
    mainForm.resize(1024, 720);
    shoot(mainForm, "15-compile-list-large");

    // A first run: no settings file yet, one music folder picked, and the
    // Summary saying what else is needed.
    const QTemporaryDir firstRun;
    if (firstRun.isValid() && QDir(firstRun.path()).mkpath("Music")) {
        TMainForm newUser(PathBytes(firstRun.filePath("2.ini")));
        newUser.SetStoreOnDestroy(false);
        newUser.resize(mainForm.minimumSize());
        newUser.show();
        newUser.Folders->AddEntry(PathBytes(firstRun.filePath("Music")), true);
        while (!(newUser.WelcomePagePanel()->isHidden() && newUser.PageIndex() == SummaryPage))
            newUser.NextClick();
        shoot(newUser, "16-firstrun-summary");
    } else {
        std::fprintf(stderr, "morvane: no scratch folder for the first-run pictures\n");
        ok = false;
    }

    // The counts while the rules are written: a small made-up library, a
    // criterion page and the Summary once every file is counted.
    const QTemporaryDir counted;
    if (counted.isValid() && QDir(counted.path()).mkpath("Music")) {
        const auto v1Tag = [](const std::string& Title, const std::string& Artist) {
            std::string tag = "TAG";
            for (const std::string& field : {Title, Artist, std::string("Album"), std::string()})
                tag += (field + std::string(30, '\0')).substr(0, 30);
            tag.replace(93, 4, "2001");
            tag.resize(128, '\0');
            return std::string(256, 'x') + tag;
        };
        for (int i = 0; i < 24; ++i) {
            const std::string title = (i % 3 ? "Song " : "Love song ") + std::to_string(i + 1);
            QFile file(counted.filePath("Music/" + QString::number(i + 1) + ".mp3"));
            const std::string bytes = v1Tag(title, artists[i % 4]);
            if (!file.open(QIODevice::WriteOnly) ||
                file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
                ok = false;
        }
        TMainForm counting(PathBytes(counted.filePath("2.ini")));
        counting.SetStoreOnDestroy(false);
        counting.resize(mainForm.minimumSize());
        counting.RememberTags->setChecked(false); // the user's own index stays untouched
        counting.show();
        counting.Filenames->Clear();
        counting.Filenames->AddEntry("*.mp3", true);
        counting.Filenames->AddEntry("*.flac", true);
        counting.Folders->AddEntry(PathBytes(counted.filePath("Music")), true);
        counting.Titles->AddEntryWithState("Love*", CriterionState::Include);
        counting.Titles->AddEntryWithState("*demo*", CriterionState::Exclude);
        counting.Artists->AddEntryWithState("Marlow", CriterionState::Include);
        const auto settle = [&counting] {
            QElapsedTimer waited;
            waited.start();
            while (!counting.CountsCurrent() && waited.elapsed() < 10000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                QThread::msleep(5);
            }
        };
        while (!(counting.WelcomePagePanel()->isHidden() && counting.PageIndex() == TitlesPage))
            counting.NextClick();
        settle();
        shoot(counting, "17-titles-counts");
        while (counting.PageIndex() != SummaryPage)
            counting.NextClick();
        settle();
        shoot(counting, "18-summary-counts");
        // The More criteria page on its Lengths, one entry of no known form.
        counting.CriterionLists[FieldLength]->AddEntryWithState("..4:00", CriterionState::Include);
        counting.CriterionLists[FieldLength]->AddEntryWithState("4 min", CriterionState::Exclude);
        counting.ShowMoreField(FieldLength);
        while (counting.PageIndex() != MoreCriteriaPage)
            counting.BackClick();
        settle();
        shoot(counting, "19-more-criteria-lengths");
    } else {
        std::fprintf(stderr, "morvane: no scratch folder for the counts pictures\n");
        ok = false;
    }
    return ok ? 0 : 1;
}

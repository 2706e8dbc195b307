// The wizard's start-up, and the offscreen rendering of its panels for review.
#include "app/AppEntry.h"
#include "app/Artwork.h"
#include "app/HelpFrm.h"
#include "app/Main.h"
#include "app/MaskHelp.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

namespace {
void CentreOnScreen(QWidget& Window) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect place = Window.frameGeometry();
        place.moveCenter(screen->availableGeometry().center());
        Window.move(place.topLeft());
    }
}
} // namespace

int RunWizard(const std::string& SettingsFile) {
    QApplication::setApplicationName("Morvane");
    QApplication::setWindowIcon(ApplicationIcon());
    auto* mainForm = new TMainForm(SettingsFile);
    // Both help windows exist from the start, hidden; only the mask help is ever shown.
    auto* helpForm = new THelpForm(mainForm);
    auto* maskHelpForm = new TMaskHelpForm(mainForm);
    (void)helpForm;
    mainForm->SetMaskHelpForm(maskHelpForm);
    QObject::connect(mainForm, &TMainForm::FormClosed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    CentreOnScreen(*mainForm);
    mainForm->show();
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
    for (int page = 0; page < mainForm.PageCount(); ++page) {
        // Straight through every page, whether or not the summary lets Next go on.
        mainForm.NextClick();
        shoot(mainForm, QString("%1-%2")
                            .arg(page + 1, 2, 10, QChar('0'))
                            .arg(mainForm.CurrentPage()->objectName().toLower()));
    }
    mainForm.MaskHelpButtonClick();
    shoot(*mainForm.MaskHelpForm(), "11-maskhelp");
    return ok ? 0 : 1;
}

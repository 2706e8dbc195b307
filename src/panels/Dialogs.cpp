// The dialogs seam and the real dialogs behind it.
#include "panels/Dialogs.h"
#include "panels/InputUtils.h"
#include "panels/TextDisplay.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <sys/vfs.h>

namespace {
TDialogs* installed = nullptr;
QString dialogFolders[2];

// The extension a name filter stands for ("PLS playlist (*.pls)" gives "pls"),
// or Fallback when the filter is not one plain extension.
QString FilterSuffix(const QString& Filter, const QString& Fallback) {
    static const QRegularExpression single(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    const QRegularExpressionMatch match = single.match(Filter);
    return match.hasMatch() ? match.captured(1) : Fallback;
}

QString MessageTitle() {
    return QGuiApplication::applicationDisplayName();
}

bool RunFileDialog(TFileDialogRequest& Request, QFileDialog::AcceptMode Mode) {
    QFileDialog dialog(Request.Parent, Request.Title);
    dialog.setAcceptMode(Mode);
    dialog.setFileMode(Mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                       : Request.MultipleFiles         ? QFileDialog::ExistingFiles
                                                       : QFileDialog::ExistingFile);
    if (!Request.Filter.isEmpty()) {
        const QStringList filters = Request.Filter.split(QStringLiteral(";;"));
        dialog.setNameFilters(filters);
        if (Request.FilterIndex >= 0 && Request.FilterIndex < filters.size())
            dialog.selectNameFilter(filters[Request.FilterIndex]);
    }
    if (!Request.DefaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(Request.DefaultSuffix);
        // A name typed without extension gets the one of the chosen filter: "mix"
        // under "PLS playlist" becomes mix.pls, which is then written as PLS.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, &Request](const QString& Filter) {
                             dialog.setDefaultSuffix(FilterSuffix(Filter, Request.DefaultSuffix));
                         });
        if (!Request.Filter.isEmpty())
            dialog.setDefaultSuffix(
                FilterSuffix(dialog.selectedNameFilter(), Request.DefaultSuffix));
    }
    QCheckBox* relative = nullptr;
    QCheckBox* extended = nullptr;
    QCheckBox* rootPaths = nullptr;
    QLineEdit* root = nullptr;
    if (Request.PlaylistOptions) {
        // The options sit in the dialog itself, so the platform's own dialog
        // (which takes no widgets) gives way to Qt's.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        relative =
            new QCheckBox(QStringLiteral("Paths relative to the playlist's folder"), &dialog);
        relative->setObjectName(QStringLiteral("RelativePaths"));
        relative->setChecked(Request.RelativePaths);
        extended = new QCheckBox(
            QStringLiteral("Extended playlist: the length, artist and title of each entry"),
            &dialog);
        extended->setObjectName(QStringLiteral("ExtendedPlaylist"));
        extended->setChecked(Request.ExtendedPlaylist);
        rootPaths =
            new QCheckBox(QStringLiteral("Paths relative to the music folder (for MPD):"), &dialog);
        rootPaths->setObjectName(QStringLiteral("RootPaths"));
        rootPaths->setChecked(Request.RootPaths);
        root = new QLineEdit(DisplayPath(Request.Root), &dialog);
        root->setObjectName(QStringLiteral("Root"));
        root->setEnabled(Request.RootPaths);
        QObject::connect(rootPaths, &QCheckBox::toggled, root, &QLineEdit::setEnabled);
        QObject::connect(rootPaths, &QCheckBox::toggled, relative, [relative](bool On) {
            if (On)
                relative->setChecked(false);
        });
        QObject::connect(relative, &QCheckBox::toggled, rootPaths, [rootPaths](bool On) {
            if (On)
                rootPaths->setChecked(false);
        });
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            const int row = grid->rowCount();
            grid->addWidget(relative, row, 0, 1, grid->columnCount());
            grid->addWidget(rootPaths, row + 1, 0, 1, 1);
            grid->addWidget(root, row + 1, 1, 1, grid->columnCount() - 1);
            grid->addWidget(extended, row + 2, 0, 1, grid->columnCount());
        }
    }
    const QString initial = DisplayPath(Request.FileName);
    if (!initial.isEmpty())
        dialog.selectFile(initial);
    else if (!Request.Directory.isEmpty())
        dialog.setDirectory(Request.Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    const QString chosen = dialog.selectedFiles().constFirst();
    Request.FileName = PathBytes(chosen);
    Request.FileNames.clear();
    for (const QString& file : dialog.selectedFiles())
        Request.FileNames.push_back(PathBytes(file));
    Request.FilterIndex =
        std::max<qsizetype>(0, dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
    if (relative && extended) {
        Request.RelativePaths = relative->isChecked();
        Request.ExtendedPlaylist = extended->isChecked();
        Request.RootPaths = rootPaths->isChecked() && !root->text().trimmed().isEmpty();
        Request.Root = PathBytes(root->text().trimmed());
    }
    return true;
}
} // namespace

bool UsableDialogFolder(const QString& Folder) {
    if (Folder.isEmpty() || !QFileInfo(Folder).isAbsolute())
        return false;
    const QString canonical = QFileInfo(Folder).canonicalFilePath();
    if (canonical.isEmpty() || !QFileInfo(canonical).isDir())
        return false;
    for (const char* kernel : {"/proc", "/sys", "/dev"})
        if (canonical == kernel || canonical.startsWith(QString(kernel) + '/'))
            return false;
    // The same file systems mounted elsewhere.
    struct statfs info;
    if (statfs(PathBytes(canonical).c_str(), &info) != 0)
        return false;
    constexpr unsigned long ProcMagic = 0x9fa0, SysfsMagic = 0x62656572, DevptsMagic = 0x1cd1,
                            DebugfsMagic = 0x64626720, TracefsMagic = 0x74726163,
                            CgroupMagic = 0x27e0eb, Cgroup2Magic = 0x63677270;
    switch (static_cast<unsigned long>(info.f_type)) {
    case ProcMagic:
    case SysfsMagic:
    case DevptsMagic:
    case DebugfsMagic:
    case TracefsMagic:
    case CgroupMagic:
    case Cgroup2Magic:
        return false;
    default:
        return true;
    }
}

QString DialogFolder(TDialogFolder Kind) {
    const QString& folder = dialogFolders[static_cast<int>(Kind)];
    return UsableDialogFolder(folder) ? folder : QDir::homePath();
}

void RememberDialogFolder(TDialogFolder Kind, const QString& Folder) {
    dialogFolders[static_cast<int>(Kind)] = Folder;
}

TDialogs& Dialogs() {
    static TSystemDialogs system;
    return installed ? *installed : system;
}

TDialogs* SetDialogs(TDialogs* Replacement) {
    TDialogs* previous = installed;
    installed = Replacement;
    return previous;
}

bool TSystemDialogs::InputQuery(QWidget* Parent, const QString& Title, const QString& Prompt,
                                std::string& Text, const std::string& EditMask) {
    TInputDialog dialog(Parent ? Parent->window() : nullptr);
    dialog.setWindowTitle(Title);
    dialog.SetPrompt(Prompt);
    dialog.SetEditMask(EditMask);
    dialog.SetText(Text);
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    Text = dialog.Text();
    return confirmed;
}

bool TSystemDialogs::BrowseFolder(QWidget* Parent, const QString& Title, std::string& Folder) {
    // Without a folder to preselect, the browser opens where the user last picked one.
    QFileDialog dialog(Parent, Title,
                       Folder.empty() ? DialogFolder(TDialogFolder::Media) : DisplayPath(Folder));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    Folder = PathBytes(dialog.selectedFiles().constFirst());
    return true;
}

bool TSystemDialogs::OpenFile(TFileDialogRequest& Request) {
    return RunFileDialog(Request, QFileDialog::AcceptOpen);
}

bool TSystemDialogs::SaveFile(TFileDialogRequest& Request) {
    return RunFileDialog(Request, QFileDialog::AcceptSave);
}

namespace {

// What a message quotes (file names, tag texts, settings lines) is shown as
// written: "<h1>" in a name is no heading.
int ShowPlainMessage(QMessageBox::Icon Icon, QWidget* Parent, const QString& Title,
                     const QString& Text, QMessageBox::StandardButtons Buttons) {
    QMessageBox box(Icon, Title, Text, Buttons, Parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec();
}

} // namespace

bool TSystemDialogs::Question(QWidget* Parent, const QString& Title, const QString& Text) {
    return ShowPlainMessage(QMessageBox::Question, Parent, Title, Text,
                            QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TDiscardAnswer TSystemDialogs::AskDiscard(QWidget* Parent, const QString& Text, bool OfferSave) {
    QMessageBox box(QMessageBox::Question, MessageTitle(), Text, QMessageBox::NoButton, Parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* save = OfferSave ? box.addButton(QMessageBox::Save) : nullptr;
    QPushButton* discard = box.addButton(QMessageBox::Discard);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(save ? save : cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (save && box.clickedButton() == save)
        return TDiscardAnswer::Save;
    return box.clickedButton() == discard ? TDiscardAnswer::Discard : TDiscardAnswer::Cancel;
}

void TSystemDialogs::Warning(QWidget* Parent, const QString& Text) {
    ShowPlainMessage(QMessageBox::Warning, Parent, MessageTitle(), Text, QMessageBox::Ok);
}

void TSystemDialogs::ErrorMessage(QWidget* Parent, const QString& Text) {
    ShowPlainMessage(QMessageBox::Critical, Parent, MessageTitle(), Text, QMessageBox::Ok);
}

// The seam through which panels and windows reach pickers and message boxes, so
// tests can answer them without a real modal dialog.
#pragma once

#include <QString>

#include <string>
#include <vector>

class QWidget;

// One open-file or save-file dialog use.
struct TFileDialogRequest {
    QWidget* Parent = nullptr;
    QString Title;
    QString Filter;        // "Name (*.a *.b);;Other (*)"; empty: no filter
    QString DefaultSuffix; // appended by the save dialog when the name has none
    int FilterIndex = 0;   // in: filter shown first; out: the one chosen
    std::string FileName;  // in: initial file name (raw bytes); out: the chosen path
    // An open dialog that takes several files: FileNames gets them all (and
    // FileName the first).
    bool MultipleFiles = false;
    std::vector<std::string> FileNames;
    QString Directory; // the folder the dialog opens in when FileName is empty
    // A playlist's save: the options offered beside the file list (in: as
    // shown, out: as chosen).
    bool PlaylistOptions = false;
    bool RelativePaths = false;
    bool ExtendedPlaylist = false;
    // Entries relative to a music folder (a music daemon's), which Root names;
    // takes the place of RelativePaths when on.
    bool RootPaths = false;
    std::string Root;
};

// The answers to "Discard the compiled playlist?".
enum class TDiscardAnswer { Save, Discard, Cancel };

// The folders the dialogs start in: where the user last picked media (folders
// and files added by hand) and where playlists were last saved. The home folder
// until something was chosen; the main window keeps them in its settings.
enum class TDialogFolder { Media, Playlist };
QString DialogFolder(TDialogFolder Kind);
// Whether Folder may be a dialog's start folder: an existing folder that is not
// in a kernel file system (/proc, /sys, /dev), where a dialog's listing can
// block or make no sense.
bool UsableDialogFolder(const QString& Folder);
// Remembers the folder of Path (a folder itself for Media picks of folders).
void RememberDialogFolder(TDialogFolder Kind, const QString& Folder);

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // The one-line input dialog. Text is copied back whatever the outcome;
    // true only when confirmed with OK. EditMask "0000" means four required digits.
    virtual bool InputQuery(QWidget* Parent, const QString& Title, const QString& Prompt,
                            std::string& Text, const std::string& EditMask) = 0;
    // The folder picker, starting at Folder (empty: no preselection). True with
    // the chosen folder's path in Folder; Folder unchanged on cancel.
    virtual bool BrowseFolder(QWidget* Parent, const QString& Title, std::string& Folder) = 0;
    virtual bool OpenFile(TFileDialogRequest& Request) = 0;
    virtual bool SaveFile(TFileDialogRequest& Request) = 0;
    // A Yes/No question; true for Yes.
    virtual bool Question(QWidget* Parent, const QString& Title, const QString& Text) = 0;
    // Asks whether unsaved work may go; Save is offered only when OfferSave.
    virtual TDiscardAnswer AskDiscard(QWidget* Parent, const QString& Text, bool OfferSave) = 0;
    virtual void Warning(QWidget* Parent, const QString& Text) = 0;
    virtual void ErrorMessage(QWidget* Parent, const QString& Text) = 0;
};

// The dialogs in use: the real ones unless a test installed its own.
TDialogs& Dialogs();
// Installs Replacement (nullptr restores the real dialogs); returns the previous one.
TDialogs* SetDialogs(TDialogs* Replacement);

// Installs a replacement for the lifetime of this object.
class TScopedDialogs {
public:
    explicit TScopedDialogs(TDialogs& Replacement) : previous_(SetDialogs(&Replacement)) {}
    ~TScopedDialogs() { SetDialogs(previous_); }
    TScopedDialogs(const TScopedDialogs&) = delete;
    TScopedDialogs& operator=(const TScopedDialogs&) = delete;

private:
    TDialogs* previous_;
};

// The real dialogs: TInputDialog, QFileDialog, QMessageBox.
class TSystemDialogs : public TDialogs {
public:
    bool InputQuery(QWidget* Parent, const QString& Title, const QString& Prompt, std::string& Text,
                    const std::string& EditMask) override;
    bool BrowseFolder(QWidget* Parent, const QString& Title, std::string& Folder) override;
    bool OpenFile(TFileDialogRequest& Request) override;
    bool SaveFile(TFileDialogRequest& Request) override;
    bool Question(QWidget* Parent, const QString& Title, const QString& Text) override;
    TDiscardAnswer AskDiscard(QWidget* Parent, const QString& Text, bool OfferSave) override;
    void Warning(QWidget* Parent, const QString& Text) override;
    void ErrorMessage(QWidget* Parent, const QString& Text) override;
};

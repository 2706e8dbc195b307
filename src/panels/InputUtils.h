// The one-line input dialog and the Add/Edit prompts of the list panels.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

// Qt's input mask for an edit mask in which "0" is a required digit and "9" an
// optional one; unfilled positions show as blanks. Empty for free input.
QString QtInputMask(const std::string& EditMask);

class TInputDialog : public QDialog {
    Q_OBJECT
public:
    explicit TInputDialog(QWidget* Parent = nullptr);

    void SetPrompt(const QString& Prompt);
    void SetEditMask(const std::string& EditMask);
    void SetText(const std::string& Text);
    std::string Text() const;

    QLineEdit* Field() const { return field_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // Refuses OK while a masked field is incomplete.
    void accept() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    bool FieldComplete() const;
    void RefuseIncomplete();

    QLabel* prompt_;
    QLineEdit* field_;
    QPushButton* ok_;
    QPushButton* cancel_;
    std::string original_; // the bytes handed in, given back when left as shown
    QString originalShown_;
    bool masked_ = false;
    std::string editMask_;
    bool warning_ = false;
};

// What the warning for an incomplete masked field says: the digits the mask
// asks for ("Enter exactly 4 digits, such as 1999. ...").
QString InvalidInputText(const std::string& EditMask);

// Shows the input dialog (through the dialogs seam); Text is copied back
// whatever the outcome; true when confirmed with OK.
bool InputQueryMasked(const QString& Title, const QString& Prompt, std::string& Text,
                      const std::string& EditMask, QWidget* Parent = nullptr);
// "Add" / "Enter " + noun; true when confirmed and the text is allowed (not empty unless
// AllowEmpty).
bool AddPrompt(std::string& Text, bool AllowEmpty, const std::string& EditMask, const QString& Noun,
               QWidget* Parent = nullptr);
// "Edit" / "Re-enter " + noun.
bool EditPrompt(std::string& Text, bool AllowEmpty, const std::string& EditMask,
                const QString& Noun, QWidget* Parent = nullptr);

// The one-line input dialog, its masked field, and the Add/Edit prompts.
#include "panels/InputUtils.h"
#include "panels/Dialogs.h"
#include "panels/TextDisplay.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

QString InvalidInputText(const std::string& EditMask) {
    int required = 0, optional = 0;
    for (char c : EditMask) {
        required += c == '0';
        optional += c == '9';
    }
    const QString digits =
        optional == 0 ? (required == 1 ? QStringLiteral("exactly 1 digit")
                                       : QStringLiteral("exactly %1 digits").arg(required))
                      : QStringLiteral("%1 to %2 digits").arg(required).arg(required + optional);
    // A year is the one four-digit mask the lists use: an example says it best.
    const QString example =
        required == 4 && optional == 0 ? QStringLiteral(", such as 1999") : QString();
    return QStringLiteral("Enter %1%2. Press Escape to leave the value as it was.")
        .arg(digits, example);
}

QString QtInputMask(const std::string& EditMask) {
    if (EditMask.empty())
        return {};
    QString mask;
    for (char c : EditMask) {
        switch (c) {
        case '0':
            mask += QLatin1Char('9'); // a digit that must be there
            break;
        case '9':
            mask += QLatin1Char('0'); // a digit that may be left out
            break;
        default:
            mask += QLatin1Char('\\');
            mask += QLatin1Char(c);
            break;
        }
    }
    return mask + QStringLiteral("; ");
}

TInputDialog::TInputDialog(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    QFont dialogFont = font();
    dialogFont.setFamilies({"Tahoma", "DejaVu Sans", "Sans Serif"});
    dialogFont.setPointSize(8);
    setFont(dialogFont);
    setFixedSize(217, 97);

    prompt_ = new QLabel(this);
    prompt_->setGeometry(8, 10, 201, 16);
    field_ = new QLineEdit(this);
    field_->setGeometry(8, 32, 201, 21);
    prompt_->setBuddy(field_);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(31, 64, 75, 25);
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setGeometry(111, 64, 75, 25);
    // A click on a button must not count as leaving the field: Cancel always
    // abandons, and OK checks the field itself.
    ok_->setFocusPolicy(Qt::TabFocus);
    cancel_->setFocusPolicy(Qt::TabFocus);
    connect(ok_, &QPushButton::clicked, this, &TInputDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &TInputDialog::reject);
    field_->installEventFilter(this);
    field_->setFocus();
}

void TInputDialog::SetPrompt(const QString& Prompt) {
    prompt_->setText(Prompt);
}

void TInputDialog::SetEditMask(const std::string& EditMask) {
    masked_ = !EditMask.empty();
    editMask_ = EditMask;
    field_->setInputMask(QtInputMask(EditMask));
}

void TInputDialog::SetText(const std::string& Text) {
    original_ = Text;
    field_->setText(DisplayText(Text));
    originalShown_ = field_->text();
}

std::string TInputDialog::Text() const {
    // Text the user left alone keeps its bytes, whatever encoding they were in.
    if (field_->text() == originalShown_)
        return original_;
    // A masked field reports its blanks as spaces; the text is what was typed.
    return TypedBytes(masked_ ? field_->text().trimmed() : field_->text());
}

bool TInputDialog::FieldComplete() const {
    return !masked_ || field_->hasAcceptableInput();
}

void TInputDialog::RefuseIncomplete() {
    if (warning_)
        return;
    warning_ = true;
    Dialogs().Warning(this, InvalidInputText(editMask_));
    warning_ = false;
    field_->setFocus(Qt::OtherFocusReason);
}

void TInputDialog::accept() {
    if (!FieldComplete()) {
        RefuseIncomplete();
        return;
    }
    QDialog::accept();
}

bool TInputDialog::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == field_ && Event->type() == QEvent::FocusOut && !warning_) {
        const auto reason = static_cast<QFocusEvent*>(Event)->reason();
        // Another window taking over (the warning itself, a menu) is not leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            !FieldComplete())
            QTimer::singleShot(0, this, [this] {
                if (!FieldComplete() && isVisible())
                    RefuseIncomplete();
            });
    }
    return QDialog::eventFilter(Watched, Event);
}

bool InputQueryMasked(const QString& Title, const QString& Prompt, std::string& Text,
                      const std::string& EditMask, QWidget* Parent) {
    return Dialogs().InputQuery(Parent, Title, Prompt, Text, EditMask);
}

bool AddPrompt(std::string& Text, bool AllowEmpty, const std::string& EditMask, const QString& Noun,
               QWidget* Parent) {
    return InputQueryMasked(QStringLiteral("Add"), QStringLiteral("Enter ") + Noun, Text, EditMask,
                            Parent) &&
           (AllowEmpty || !Text.empty());
}

bool EditPrompt(std::string& Text, bool AllowEmpty, const std::string& EditMask,
                const QString& Noun, QWidget* Parent) {
    return InputQueryMasked(QStringLiteral("Edit"), QStringLiteral("Re-enter ") + Noun, Text,
                            EditMask, Parent) &&
           (AllowEmpty || !Text.empty());
}

// The help window that explains the mask notation of the filename and criterion pages.
#pragma once

#include "app/HelpFrm.h"

#include <QString>

#include <vector>

class QLabel;

// One row of the notation table: a mask, what it means, and a text it matches.
struct TMaskExample {
    QString Mask;
    QString Meaning;
    QString Matches;
};
const std::vector<TMaskExample>& MaskExamples();

class TMaskHelpForm : public THelpForm {
    Q_OBJECT
public:
    explicit TMaskHelpForm(QWidget* Parent = nullptr);

    // The table of the notation under the sentence.
    QLabel* Notation() const { return notation_; }

protected:
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QLabel* notation_;
};

// The mask help window: the sentence, then a compact table of the notation.
#include "app/MaskHelp.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QVBoxLayout>

const std::vector<TMaskExample>& MaskExamples() {
    static const std::vector<TMaskExample> examples = {
        {"*love*", "any text that contains \"love\"", "Lovesong"},
        {"??", "exactly two characters", "80"},
        {"[a-c]*", "starts with a, b or c", "Blue"},
        {"[!0-9]*", "does not start with a digit", "Rock"},
        {"*[[]live]*", "a literal [ is the set [[] (a ] alone is literal)", "Song [Live]"},
        {"*/Rock/*.mp3", "filename mask: MP3 files in any folder named Rock",
         "/music/Rock/song.mp3"},
    };
    return examples;
}

TMaskHelpForm::TMaskHelpForm(QWidget* Parent) : THelpForm(Parent) {
    setObjectName("MaskHelpForm");
    setWindowTitle("Mask Help");
    Help()->setText("Masks consist of literal characters, wildcards and sets. All comparisons "
                    "are case-insensitive.");

    QString table = QStringLiteral(
        "<table cellspacing=\"0\" cellpadding=\"2\">"
        "<tr><td><b>*</b></td><td>any run of characters, none included</td></tr>"
        "<tr><td><b>?</b></td><td>one character</td></tr>"
        "<tr><td><b>[a-c]</b></td><td>one character of the set; [!a-c] one outside it</td></tr>"
        "<tr><td colspan=\"2\"><br/><b>Examples</b></td></tr>");
    for (const TMaskExample& example : MaskExamples())
        table += QStringLiteral("<tr><td><code>%1</code></td><td>%2, e.g. %3</td></tr>")
                     .arg(example.Mask.toHtmlEscaped(), example.Meaning.toHtmlEscaped(),
                          example.Matches.toHtmlEscaped());
    table += QStringLiteral("</table>");
    notation_ = new QLabel(table);
    notation_->setObjectName("Notation");
    notation_->setTextFormat(Qt::RichText);
    notation_->setWordWrap(true);
    notation_->setMargin(2);
    // The sentence and the table scroll together.
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    auto* scroll = findChild<QScrollArea*>("ScrollBox");
    QWidget* sentence = scroll->takeWidget();
    column->addWidget(sentence);
    column->addWidget(notation_);
    column->addStretch(1);
    scroll->setWidget(content);
    resize(420, 300);
}

void TMaskHelpForm::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    THelpForm::keyPressEvent(Event);
}

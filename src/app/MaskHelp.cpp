// The mask help window.
#include "app/MaskHelp.h"

#include <QLabel>

TMaskHelpForm::TMaskHelpForm(QWidget* Parent) : THelpForm(Parent) {
    setObjectName("MaskHelpForm");
    setWindowTitle("Mask Help");
    Help()->setText("Masks consist of literal characters, wildcards and sets. All comparisons "
                    "are case-insensitive.");
}

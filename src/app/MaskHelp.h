// The help window that explains the mask notation of the filename and criterion pages.
#pragma once

#include "app/HelpFrm.h"

class TMaskHelpForm : public THelpForm {
    Q_OBJECT
public:
    explicit TMaskHelpForm(QWidget* Parent = nullptr);
};

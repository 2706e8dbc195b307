// A list of files chosen in the open-file dialog; the base of the playlist panel.
#pragma once

#include "panels/CheckListFrame.h"

class TFileCheckList : public TCheckList {
    Q_OBJECT
public:
    explicit TFileCheckList(const QString& Name, QWidget* Parent = nullptr);

    // The open-file dialog's filter ("Name (*.a *.b);;All (*)"); empty: none.
    const QString& FileFilter() const { return fileFilter_; }
    void SetFileFilter(const QString& Filter) { fileFilter_ = Filter; }

    void AddExecute() override;
    void EditExecute() override;

private:
    QString fileFilter_;
};

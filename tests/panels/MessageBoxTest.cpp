// The program's message boxes show what they quote as written: a file name or
// settings line holding markup is no heading and no link.
#include "panels/Dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct TShown {
    bool Seen = false;
    Qt::TextFormat Format = Qt::AutoText;
    QString Text;
};

// Runs Open (which shows a modal box) and records the box it showed, then closes it.
TShown ShowAndClose(const std::function<void()>& Open) {
    TShown shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown.Seen = true;
        shown.Format = box->textFormat();
        shown.Text = box->text();
        box->reject();
    });
    Open();
    return shown;
}

} // namespace

TEST(MessageBoxes, EveryKindShowsItsTextAsPlainText) {
    const QString text = "Unable to write to <h1>big</h1> <a href=\"x\">link</a>.m3u";
    TSystemDialogs dialogs;
    const std::pair<const char*, std::function<void()>> kinds[] = {
        {"warning", [&] { dialogs.Warning(nullptr, text); }},
        {"error", [&] { dialogs.ErrorMessage(nullptr, text); }},
        {"question", [&] { dialogs.Question(nullptr, "Morvane", text); }},
        {"discard", [&] { dialogs.AskDiscard(nullptr, text, true); }},
    };
    for (const auto& [kind, open] : kinds) {
        const TShown shown = ShowAndClose(open);
        ASSERT_TRUE(shown.Seen) << kind;
        EXPECT_EQ(shown.Format, Qt::PlainText) << kind;
        EXPECT_EQ(shown.Text, text) << kind;
    }
}

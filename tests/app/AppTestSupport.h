// Shared by the main window suites: scripted answers for the dialogs seam, tagged
// media files, a settings file written through the store, and event-loop waits.
#pragma once

#include "model/WizardSettings.h"
#include "panels/Dialogs.h"
#include "panels/PreviewPlayer.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QString>

#include <deque>
#include <functional>
#include <string>
#include <vector>

// Answers every dialog from queues; an empty queue answers Cancel / No.
class TScriptedDialogs : public TDialogs {
public:
    std::deque<std::string> SaveNames;
    std::deque<std::string> OpenNames;
    std::vector<TFileDialogRequest> OpenRequests;
    std::deque<bool> Answers;
    std::vector<QString> Questions;
    std::vector<QString> Errors;
    std::vector<TFileDialogRequest> SaveRequests;
    std::deque<TDiscardAnswer> DiscardAnswers;
    std::vector<QString> DiscardQuestions;
    std::vector<bool> DiscardOfferedSave;

    bool InputQuery(QWidget*, const QString&, const QString&, std::string&,
                    const std::string&) override {
        return false;
    }
    bool BrowseFolder(QWidget*, const QString&, std::string&) override { return false; }
    bool OpenFile(TFileDialogRequest& Request) override {
        OpenRequests.push_back(Request);
        if (OpenNames.empty())
            return false;
        Request.FileName = OpenNames.front();
        OpenNames.pop_front();
        return true;
    }
    bool SaveFile(TFileDialogRequest& Request) override {
        SaveRequests.push_back(Request);
        if (SaveNames.empty())
            return false;
        Request.FileName = SaveNames.front();
        SaveNames.pop_front();
        return true;
    }
    bool Question(QWidget*, const QString&, const QString& Text) override {
        Questions.push_back(Text);
        if (Answers.empty())
            return false;
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    TDiscardAnswer AskDiscard(QWidget*, const QString& Text, bool OfferSave) override {
        DiscardQuestions.push_back(Text);
        DiscardOfferedSave.push_back(OfferSave);
        if (DiscardAnswers.empty())
            return TDiscardAnswer::Cancel;
        const TDiscardAnswer answer = DiscardAnswers.front();
        DiscardAnswers.pop_front();
        return answer;
    }
    void Warning(QWidget*, const QString& Text) override { Errors.push_back(Text); }
    void ErrorMessage(QWidget*, const QString& Text) override { Errors.push_back(Text); }
};

// A preview player that records what it is asked; FailWith makes Open fail
// with that reason, and Failures are reported after a successful Open.
class TFakePlayer : public TPreviewPlayer {
public:
    std::vector<std::string> Opened;
    int Plays = 0;
    QString FailWith;
    std::vector<QString> Failures;
    bool AudioOutput = true;

    bool HasAudioOutput() const override { return AudioOutput; }
    bool Open(const std::string& FileName, QString& ErrorText) override {
        Opened.push_back(FileName);
        ErrorText = FailWith;
        return FailWith.isEmpty();
    }
    bool Play() override {
        ++Plays;
        for (const QString& failure : Failures)
            emit Failed(Opened.back(), failure);
        return true;
    }
    void Stop() override {}
};

// A media file of a few bytes ending in an ID3v1.1 tag.
inline std::string Id3v1File(const std::string& Title, const std::string& Artist,
                             const std::string& Album, const std::string& Year, int Track) {
    auto field = [](std::string Text, size_t Size) {
        Text.resize(Size, '\0');
        return Text;
    };
    std::string bytes(64, 'x');
    bytes += "TAG" + field(Title, 30) + field(Artist, 30) + field(Album, 30) + field(Year, 4);
    bytes += std::string(28, '\0');
    bytes += '\0';
    bytes += static_cast<char>(Track);
    bytes += static_cast<char>(17); // genre: Rock
    return bytes;
}

inline void WriteSettings(const std::string& FileName, const WizardSettings& Settings) {
    SettingsStore store(FileName);
    SaveAllSettings(store, Settings);
    store.Flush();
}

// Runs the event loop until Done holds or a generous time has passed.
inline bool WaitFor(const std::function<bool()>& Done, int TimeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!Done()) {
        if (timer.elapsed() > TimeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline std::vector<std::string> Lines(const QString& Text) {
    std::vector<std::string> lines;
    for (const QString& line : Text.split('\n'))
        lines.push_back(line.toStdString());
    return lines;
}

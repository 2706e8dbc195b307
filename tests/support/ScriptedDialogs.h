// The dialogs seam answered from queues the test fills, recording every call.
#pragma once

#include "panels/Dialogs.h"

#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// With an empty queue a dialog answers Cancel / No; under FailUnexpected it
// also fails the test, for suites where any dialog not scripted is a fault.
class TScriptedDialogs : public TDialogs {
public:
    enum class TUnscripted { Cancel, FailUnexpected };
    explicit TScriptedDialogs(TUnscripted Policy = TUnscripted::Cancel) : policy_(Policy) {}

    struct InputAnswer {
        bool Ok;
        std::string Text;
    };
    struct InputCall {
        QString Title, Prompt;
        std::string Text, EditMask;
    };

    // Answers, in order; nullopt cancels that dialog.
    std::deque<InputAnswer> InputAnswers;
    std::deque<std::optional<std::string>> FolderAnswers;
    std::deque<std::optional<std::string>> OpenNames;
    std::deque<std::optional<std::string>> SaveNames;
    std::deque<bool> Answers;
    std::deque<TDiscardAnswer> DiscardAnswers;
    // The playlist options ticked in a save dialog that chose a file
    // (relative paths, extended lines); none left: as offered.
    std::deque<std::pair<bool, bool>> SaveOptions;
    // The music folder typed beside "Paths relative to the music folder" in a
    // save dialog that chose a file; empty: that option off. None left: as offered.
    std::deque<std::string> SaveRoots;
    // The file type (filter index) chosen in a save dialog that chose a file;
    // none left: the one offered.
    std::deque<int> SaveFilters;

    // What was asked.
    std::vector<InputCall> InputCalls;
    std::vector<std::pair<QString, std::string>> FolderCalls; // title, start folder
    std::vector<TFileDialogRequest> OpenRequests;
    std::vector<TFileDialogRequest> SaveRequests;
    std::vector<QString> Questions;
    std::vector<QString> DiscardQuestions;
    std::vector<bool> DiscardOfferedSave;
    std::vector<QString> Warnings, Errors;

    bool InputQuery(QWidget*, const QString& Title, const QString& Prompt, std::string& Text,
                    const std::string& EditMask) override {
        InputCalls.push_back({Title, Prompt, Text, EditMask});
        InputAnswer answer{false, Text};
        if (Pop(InputAnswers, answer, "input dialog"))
            Text = answer.Text;
        return answer.Ok;
    }
    bool BrowseFolder(QWidget*, const QString& Title, std::string& Folder) override {
        FolderCalls.emplace_back(Title, Folder);
        return Chosen(FolderAnswers, Folder, "folder picker");
    }
    // An answer of several lines picks several files where the dialog takes them.
    bool OpenFile(TFileDialogRequest& Request) override {
        OpenRequests.push_back(Request);
        if (!Chosen(OpenNames, Request.FileName, "open-file dialog"))
            return false;
        Request.FileNames.clear();
        if (Request.MultipleFiles) {
            const std::string names = Request.FileName;
            for (std::size_t start = 0; start <= names.size();) {
                const std::size_t end = std::min(names.find('\n', start), names.size());
                Request.FileNames.push_back(names.substr(start, end - start));
                start = end + 1;
            }
            Request.FileName = Request.FileNames.front();
        }
        return true;
    }
    bool SaveFile(TFileDialogRequest& Request) override {
        SaveRequests.push_back(Request);
        if (!Chosen(SaveNames, Request.FileName, "save dialog"))
            return false;
        if (!SaveOptions.empty()) {
            Request.RelativePaths = SaveOptions.front().first;
            Request.ExtendedPlaylist = SaveOptions.front().second;
            SaveOptions.pop_front();
        }
        if (!SaveFilters.empty()) {
            Request.FilterIndex = SaveFilters.front();
            SaveFilters.pop_front();
        }
        if (!SaveRoots.empty()) {
            Request.RootPaths = !SaveRoots.front().empty();
            Request.Root = SaveRoots.front();
            SaveRoots.pop_front();
        }
        return true;
    }
    bool Question(QWidget*, const QString&, const QString& Text) override {
        Questions.push_back(Text);
        bool answer = false;
        Pop(Answers, answer, "question");
        return answer;
    }
    TDiscardAnswer AskDiscard(QWidget*, const QString& Text, bool OfferSave) override {
        DiscardQuestions.push_back(Text);
        DiscardOfferedSave.push_back(OfferSave);
        TDiscardAnswer answer = TDiscardAnswer::Cancel;
        Pop(DiscardAnswers, answer, "discard question");
        return answer;
    }
    void Warning(QWidget*, const QString& Text) override { Warnings.push_back(Text); }
    void ErrorMessage(QWidget*, const QString& Text) override { Errors.push_back(Text); }

private:
    TUnscripted policy_;

    // Takes the next answer into Out; false (Out untouched) when none is left.
    template <class T> bool Pop(std::deque<T>& Queue, T& Out, const char* What) {
        if (Queue.empty()) {
            if (policy_ == TUnscripted::FailUnexpected)
                ADD_FAILURE() << "unexpected " << What;
            return false;
        }
        Out = std::move(Queue.front());
        Queue.pop_front();
        return true;
    }
    bool Chosen(std::deque<std::optional<std::string>>& Queue, std::string& Out, const char* What) {
        std::optional<std::string> answer;
        if (!Pop(Queue, answer, What) || !answer)
            return false;
        Out = *answer;
        return true;
    }
};

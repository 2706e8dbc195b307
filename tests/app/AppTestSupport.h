// Shared by the main window suites: scripted answers for the dialogs seam, tagged
// media files, a settings file written through the store, and event-loop waits.
#pragma once

#include "model/WizardSettings.h"
#include "panels/PreviewPlayer.h"
#include "settings/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QString>

#include <deque>
#include <functional>
#include <string>
#include <vector>

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
    tagbytes::V1 fields;
    fields.Title = Title;
    fields.Artist = Artist;
    fields.Album = Album;
    fields.Year = Year;
    fields.Separator = 0;
    fields.Track = Track;
    fields.Genre = 17; // Rock
    return std::string(64, 'x') + tagbytes::V1Block(fields);
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

// The entries of an M3U playlist written with CRLF line ends, without its
// #EXTM3U line.
inline std::vector<std::string> PlaylistLines(const std::string& File) {
    std::vector<std::string> lines;
    const std::string text = TempDir::read(File);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (!lines.empty())
        lines.erase(lines.begin()); // #EXTM3U
    return lines;
}

inline std::vector<std::string> Lines(const QString& Text) {
    std::vector<std::string> lines;
    for (const QString& line : Text.split('\n'))
        lines.push_back(line.toStdString());
    return lines;
}

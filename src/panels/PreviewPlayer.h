// Plays one media file at a time for the playlist's preview, and says when a
// playback has ended; the real one is Qt Multimedia, tests use their own.
#pragma once

#include <QObject>

#include <memory>
#include <string>

class TPreviewPlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether the system has an audio output to play through.
    virtual bool HasAudioOutput() const { return true; }
    // Opens FileName, closing whatever was open (a playback cut short this way
    // still reports its end). False with the reason in plain words
    // ("the file does not exist") when it cannot open.
    virtual bool Open(const std::string& FileName, QString& ErrorText) = 0;
    // Starts the opened file from the beginning; false when it cannot start.
    virtual bool Play() = 0;
    virtual void Stop() = 0;

signals:
    // Once for every started playback that ended: played out, stopped, replaced or failed.
    // Delivered on the UI thread after the call that caused it has returned.
    void PlaybackEnded();
    // The media service could not play FileName after it was opened; Reason
    // in plain words. A service may report one failure several times.
    void Failed(const std::string& FileName, const QString& Reason);
};

// The Qt Multimedia player.
std::unique_ptr<TPreviewPlayer> MakeMediaPreviewPlayer();

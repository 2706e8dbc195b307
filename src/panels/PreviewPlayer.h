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

    // Opens FileName, closing whatever was open (a playback cut short this way
    // still reports its end). False with the service's text when it cannot open.
    virtual bool Open(const std::string& FileName, QString& ErrorText) = 0;
    // Starts the opened file from the beginning; false when it cannot start.
    virtual bool Play() = 0;
    virtual void Stop() = 0;

signals:
    // Once for every started playback that ended: played out, stopped, replaced or failed.
    // Delivered on the UI thread after the call that caused it has returned.
    void PlaybackEnded();
    // The media service reported an error after the file was opened.
    void Failed(const QString& ErrorText);
};

// The Qt Multimedia player.
std::unique_ptr<TPreviewPlayer> MakeMediaPreviewPlayer();

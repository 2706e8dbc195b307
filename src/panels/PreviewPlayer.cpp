// The preview player over Qt Multimedia.
#include "panels/PreviewPlayer.h"
#include "panels/TextDisplay.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace {
// What went wrong, in words a user can act on; the file's own state first,
// since the service says "Resource not found" for most of it.
QString PlainReason(const QString& Path, QMediaPlayer::Error Error) {
    const QFileInfo file(Path);
    if (!file.exists())
        return QStringLiteral("the file does not exist");
    if (file.isDir())
        return QStringLiteral("it is a folder, not a file");
    if (!file.isReadable())
        return QStringLiteral("the file cannot be read (permission denied)");
    switch (Error) {
    case QMediaPlayer::FormatError:
        return QStringLiteral("its format is not supported by the installed media codecs");
    case QMediaPlayer::AccessDeniedError:
        return QStringLiteral("access to the file was denied");
    case QMediaPlayer::NetworkError:
        return QStringLiteral("the file could not be reached over the network");
    default:
        return QStringLiteral("the media service could not read it");
    }
}

class TMediaPreviewPlayer : public TPreviewPlayer {
public:
    TMediaPreviewPlayer() {
        player_.setAudioOutput(&output_);
        connect(&player_, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus Status) {
                    if (Status == QMediaPlayer::EndOfMedia || Status == QMediaPlayer::InvalidMedia)
                        End();
                });
        connect(&player_, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error Error) {
            if (Error == QMediaPlayer::NoError)
                return;
            // Reported after the call that caused it, like the end notice.
            const QString reason = PlainReason(path_, Error);
            QMetaObject::invokeMethod(
                this, [this, file = file_, reason] { emit Failed(file, reason); },
                Qt::QueuedConnection);
            End();
        });
    }

    bool HasAudioOutput() const override { return !QMediaDevices::audioOutputs().isEmpty(); }

    bool Open(const std::string& FileName, QString& ErrorText) override {
        if (active_) {
            player_.stop();
            End();
        }
        file_ = FileName;
        path_ = DisplayPath(FileName);
        const QFileInfo file(path_);
        if (!file.isFile() || !file.isReadable()) {
            ErrorText = PlainReason(path_, QMediaPlayer::ResourceError);
            return false;
        }
        player_.setSource(QUrl::fromLocalFile(path_));
        if (player_.error() != QMediaPlayer::NoError) {
            ErrorText = PlainReason(path_, player_.error());
            return false;
        }
        return true;
    }

    bool Play() override {
        active_ = true;
        player_.setPosition(0);
        player_.play();
        return player_.error() == QMediaPlayer::NoError;
    }

    void Stop() override {
        player_.stop();
        End();
    }

private:
    void End() {
        if (!active_)
            return;
        active_ = false;
        QMetaObject::invokeMethod(
            this, [this] { emit PlaybackEnded(); }, Qt::QueuedConnection);
    }

    QMediaPlayer player_;
    QAudioOutput output_;
    bool active_ = false; // a started playback has not yet reported its end
    std::string file_;    // the file opened last, as the list holds it
    QString path_;
};
} // namespace

std::unique_ptr<TPreviewPlayer> MakeMediaPreviewPlayer() {
    return std::make_unique<TMediaPreviewPlayer>();
}

// The preview player over Qt Multimedia.
#include "panels/PreviewPlayer.h"
#include "panels/TextDisplay.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

namespace {
class TMediaPreviewPlayer : public TPreviewPlayer {
public:
    TMediaPreviewPlayer() {
        player_.setAudioOutput(&output_);
        connect(&player_, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus Status) {
                    if (Status == QMediaPlayer::EndOfMedia || Status == QMediaPlayer::InvalidMedia)
                        End();
                });
        connect(&player_, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error Error, const QString& Text) {
                    if (Error == QMediaPlayer::NoError)
                        return;
                    // Reported after the call that caused it, like the end notice.
                    QMetaObject::invokeMethod(
                        this, [this, Text] { emit Failed(Text); }, Qt::QueuedConnection);
                    End();
                });
    }

    bool Open(const std::string& FileName, QString& ErrorText) override {
        if (active_) {
            player_.stop();
            End();
        }
        player_.setSource(QUrl::fromLocalFile(DisplayPath(FileName)));
        if (player_.error() != QMediaPlayer::NoError) {
            ErrorText = player_.errorString();
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
};
} // namespace

std::unique_ptr<TPreviewPlayer> MakeMediaPreviewPlayer() {
    return std::make_unique<TMediaPreviewPlayer>();
}

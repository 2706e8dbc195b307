// The program's pictures from the compiled-in resource.
#include "app/Artwork.h"

#include <QImageReader>

// The resource lives in a static library; registering it by hand keeps the
// linker from dropping it. Outside any namespace, as the macro requires.
static void InitArtworkResource() {
    Q_INIT_RESOURCE(artwork);
}

static void EnsureResource() {
    static const bool registered = (InitArtworkResource(), true);
    (void)registered;
}

namespace {

QImage ReadJpeg(const QString& Name) {
    EnsureResource();
    QImageReader reader(Name, "jpeg");
    return reader.read();
}
} // namespace

QImage BannerPicture() {
    return ReadJpeg(":/artwork/banner.jpg");
}

QImage WelcomePicture() {
    return ReadJpeg(":/artwork/welcome.jpg");
}

QIcon ApplicationIcon() {
    EnsureResource();
    return QIcon(":/artwork/icon.png");
}

// The program's pictures, read from the compiled-in resource: the banner strip,
// the welcome background and the application icon.
#pragma once

#include <QIcon>
#include <QImage>

// Both decode through the JPEG image plug-in; a null image means it is missing.
QImage BannerPicture();
QImage WelcomePicture();
QIcon ApplicationIcon();

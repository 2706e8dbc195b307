// The main window's own place on the desktop: size, position and maximized
// state, and the folders the dialogs start in, kept in the "Window" section.
#include "app/Main.h"
#include "panels/Dialogs.h"
#include "panels/TextDisplay.h"
#include "settings/SettingsStore.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
const char* const WindowSection = "Window";

bool OnSomeScreen(const QRect& Place) {
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(Place))
            return true;
    return false;
}
} // namespace

void TMainForm::LoadPlacement(const SettingsStore& Store) {
    for (auto [kind, name] : {std::pair{TDialogFolder::Media, "Media Folder"},
                              std::pair{TDialogFolder::Playlist, "Playlist Folder"}}) {
        const std::string folder = Store.ReadString(WindowSection, name, "");
        if (!folder.empty())
            RememberDialogFolder(kind, DisplayPath(folder));
    }
    playlistFileType_ = std::max(0, Store.ReadInteger(WindowSection, "Playlist Type", 0));
    const int width = Store.ReadInteger(WindowSection, "Width", 0);
    const int height = Store.ReadInteger(WindowSection, "Height", 0);
    if (width <= 0 || height <= 0)
        return;
    // Never below the default size, whatever the file says.
    resize(std::max(width, minimumWidth()), std::max(height, minimumHeight()));
    const QPoint place(Store.ReadInteger(WindowSection, "Left", 0),
                       Store.ReadInteger(WindowSection, "Top", 0));
    // A place on a screen that has since gone is dropped: the window is centred.
    if (OnSomeScreen(QRect(place, size()))) {
        move(place);
        placementRestored_ = true;
    }
    normalPlacement_ = QRect(pos(), size());
    if (Store.ReadBool(WindowSection, "Maximized", false))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::SavePlacement(SettingsStore& Store) const {
    const bool maximized = windowState() & Qt::WindowMaximized;
    const QRect place =
        maximized && normalPlacement_.isValid() ? normalPlacement_ : QRect(pos(), size());
    Store.WriteInteger(WindowSection, "Left", place.x());
    Store.WriteInteger(WindowSection, "Top", place.y());
    Store.WriteInteger(WindowSection, "Width", place.width());
    Store.WriteInteger(WindowSection, "Height", place.height());
    Store.WriteBool(WindowSection, "Maximized", maximized);
    Store.WriteString(WindowSection, "Media Folder", PathBytes(DialogFolder(TDialogFolder::Media)));
    Store.WriteString(WindowSection, "Playlist Folder",
                      PathBytes(DialogFolder(TDialogFolder::Playlist)));
    Store.WriteInteger(WindowSection, "Playlist Type", playlistFileType_);
}

void TMainForm::TrackNormalPlacement() {
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        normalPlacement_ = QRect(pos(), size());
}

void TMainForm::moveEvent(QMoveEvent* Event) {
    TWizardForm::moveEvent(Event);
    TrackNormalPlacement();
}

void TMainForm::resizeEvent(QResizeEvent* Event) {
    TWizardForm::resizeEvent(Event);
    TrackNormalPlacement();
}

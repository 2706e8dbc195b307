// The program's own small pictures (commands, criterion states, folder, file
// fallbacks), drawn once with QPainter. Needs a QGuiApplication.
#pragma once

#include <QIcon>

enum class TPanelIcon {
    Add,
    Remove,
    Edit,
    CheckAll,
    UncheckAll,
    InvertChecks,
    IncludeAll,
    ExcludeAll,
    IgnoreAll,
    Play,
    Stop,
    StateInclude,
    StateExclude,
    StateIgnore,
    Folder,
    Application, // stands in when the desktop gives no file icon
    UnknownFile, // for an empty path
};

const QIcon& PanelIcon(TPanelIcon Which);

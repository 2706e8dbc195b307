// Program start: picks the settings file, then runs the wizard, the headless
// compile or the screenshot renderer.
#include "app/AppEntry.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    QString settingsFile;
    const char* compileTarget = nullptr;
    const char* screenshotFolder = nullptr;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char* option) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "morvane: %s needs a value\n", option);
                std::exit(2);
            }
            return argv[++i];
        };
        if (!std::strcmp(arg, "--settings"))
            settingsFile = QFile::decodeName(value(arg));
        else if (!std::strcmp(arg, "--compile"))
            compileTarget = value(arg);
        else if (!std::strcmp(arg, "--screenshots"))
            screenshotFolder = value(arg);
        else if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h"))
            help = true;
        else if (arg[0] == '-' && arg[1] == '-') {
            std::fprintf(stderr, "morvane: unknown option %s\n\n%s", arg,
                         UsageText().toLocal8Bit().constData());
            return 2;
        }
        // Anything else is left for Qt's own options (-platform, -style, ...).
    }
    if (help) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (settingsFile.isEmpty())
        settingsFile = SettingsStore::DefaultFileName();

    if (compileTarget) {
        QCoreApplication app(argc, argv);
        return RunHeadlessCompile(settingsFile, compileTarget);
    }
    QApplication app(argc, argv);
    if (screenshotFolder)
        return RenderScreenshots(settingsFile, QFile::decodeName(screenshotFolder));
    return RunWizard(settingsFile);
}

// Program start: reads the command line, picks the settings file, then runs
// the wizard, the headless compile or the screenshot renderer.
#include "app/AppEntry.h"
#include "app/CommandLine.h"
#include "app/HeadlessProgress.h"
#include "app/HeadlessRefresh.h"
#include "app/HeadlessWatch.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    TCommandLine line;
    std::string error;
    if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), line, error)) {
        std::fprintf(stderr, "morvane: %s\n\n%s", error.c_str(),
                     UsageText().toLocal8Bit().constData());
        return 2;
    }
    switch (line.Action) {
    case TCommandLine::TAction::Help:
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case TCommandLine::TAction::Version:
        std::printf("Morvane %s\n", ProgramVersion());
        return 0;
    default:
        break;
    }
    const std::string settingsFile =
        line.SettingsFile.empty() ? SettingsStore::DefaultFileName() : line.SettingsFile;

    // The application objects take Qt's own options (-platform, -style) out of argv.
    if (line.Action == TCommandLine::TAction::Refresh) {
        QCoreApplication app(argc, argv);
        return RunRefresh(line.Searches, line.Quiet, line.NoIndex, line.CountsFile);
    }
    if (line.Action == TCommandLine::TAction::Watch) {
        QCoreApplication app(argc, argv);
        return RunWatch(line.Searches, settingsFile, line.IntervalMinutes, line.Quiet,
                        line.NoIndex);
    }
    if (line.Action == TCommandLine::TAction::Compile) {
        QCoreApplication app(argc, argv);
        THeadlessOptions options = line.Compile;
        options.NoIndex = line.NoIndex;
        return RunHeadlessCompile(settingsFile, line.Target, HeadlessOutputFor(line.Quiet),
                                  options);
    }
    QApplication app(argc, argv);
    if (line.Action == TCommandLine::TAction::Screenshots)
        return RenderScreenshots(settingsFile,
                                 QFile::decodeName(QByteArray::fromStdString(line.Target)));
    return RunWizard(settingsFile, line.NoIndex,
                     line.Searches.empty() ? std::string() : line.Searches.front());
}

#include "app/CommandLine.h"

#include "files/Paths.h"
#include "model/MessageText.h"
#include "settings/SearchFile.h"

#include <QCommandLineParser>

namespace {

// Latin-1 maps every byte to one character and back, so option values keep
// bytes that are not UTF-8 (a path's bytes are not text).
QString FromBytes(const std::string& Bytes) {
    return QString::fromLatin1(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
}

std::string ToBytes(const QString& Text) {
    return Text.toLatin1().toStdString();
}

// The options that Qt's application objects take out of the command line
// themselves; they are accepted here and left alone.
const char* const QtValueOptions[] = {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "qwindowgeometry",
    "geometry",
    "qwindowicon",
    "icon",
    "qwindowtitle",
    "title",
    "session",
    "display",
    "name",
    "style",
    "stylesheet",
    "qmljsdebugger",
};
const char* const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

} // namespace

bool ParseCommandLine(const std::vector<std::string>& Arguments, TCommandLine& Line,
                      std::string& Error) {
    QCommandLineParser parser;
    // Qt's own options are single-dash words (-platform), so ours may be too.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption settings("settings", QString(), "FILE");
    const QCommandLineOption compile("compile", QString(), "PLAYLIST");
    const QCommandLineOption refresh("refresh");
    const QCommandLineOption watch("watch");
    const QCommandLineOption interval("interval", QString(), "MINUTES");
    const QCommandLineOption screenshots("screenshots", QString(), "FOLDER");
    const QCommandLineOption help(QStringList{"help", "h"});
    const QCommandLineOption version("version");
    const QCommandLineOption quiet("quiet");
    const QCommandLineOption paths("paths", QString(), "absolute|relative");
    const QCommandLineOption extended("extended");
    const QCommandLineOption format("format", QString(), "m3u|m3u8|pls");
    const QCommandLineOption unique("unique");
    const QCommandLineOption explain("explain", QString(), "FILE");
    const QCommandLineOption counts("counts", QString(), "FILE");
    const QCommandLineOption force("force");
    const QCommandLineOption noIndex("no-index");
    for (const QCommandLineOption& option :
         {settings, compile, refresh, watch, interval, screenshots, help, version, quiet, paths,
          extended, format, unique, explain, counts, force, noIndex})
        parser.addOption(option);
    for (const char* name : QtValueOptions)
        parser.addOption(QCommandLineOption(name, QString(), "VALUE"));
    for (const char* name : QtFlagOptions)
        parser.addOption(QCommandLineOption(name));

    QStringList list{"morvane"};
    for (const std::string& argument : Arguments)
        list << FromBytes(argument);
    if (!parser.parse(list)) {
        Error = QuoteForMessage(ToBytes(parser.errorText()), 200);
        return false;
    }
    // Search files: any number to refresh, or one for the window to open.
    const QStringList positional = parser.positionalArguments();
    const bool wizard = !parser.isSet(compile) && !parser.isSet(refresh) && !parser.isSet(watch) &&
                        !parser.isSet(screenshots) && !parser.isSet(help) && !parser.isSet(version);
    const bool oneSearch =
        wizard && positional.size() == 1 && HasExtension(ToBytes(positional[0]), SearchFileSuffix);
    const qsizetype allowed =
        parser.isSet(refresh) || parser.isSet(watch) ? positional.size() : (oneSearch ? 1 : 0);
    if (positional.size() > allowed) {
        Error = "unexpected argument '" + QuoteForMessage(ToBytes(positional[allowed]), 200) + "'";
        return false;
    }
    if (parser.isSet(refresh) && positional.isEmpty()) {
        Error = "--refresh needs at least one search file";
        return false;
    }

    // Each of our options at most once.
    const QStringList given = parser.optionNames();
    const std::pair<const QCommandLineOption*, const char*> own[] = {
        {&settings, "--settings"}, {&compile, "--compile"},
        {&refresh, "--refresh"},   {&screenshots, "--screenshots"},
        {&watch, "--watch"},       {&interval, "--interval"},
        {&help, "--help"},         {&version, "--version"},
        {&quiet, "--quiet"},       {&paths, "--paths"},
        {&extended, "--extended"}, {&format, "--format"},
        {&unique, "--unique"},     {&explain, "--explain"},
        {&counts, "--counts"},     {&force, "--force"},
        {&noIndex, "--no-index"},
    };
    for (const auto& [option, text] : own) {
        qsizetype times = 0;
        for (const QString& name : option->names())
            times += given.count(name);
        if (times > 1) {
            Error = std::string(text) + " is given more than once";
            return false;
        }
    }
    const int actions = parser.isSet(compile) + parser.isSet(refresh) + parser.isSet(watch) +
                        parser.isSet(screenshots) + parser.isSet(help) + parser.isSet(version);
    if (actions > 1 || ((parser.isSet(help) || parser.isSet(version)) &&
                        (parser.isSet(settings) || parser.isSet(noIndex)))) {
        Error = "--compile, --refresh, --watch, --screenshots, --help and --version exclude each "
                "other, and --help and --version take no other option";
        return false;
    }
    if (parser.isSet(interval) && !parser.isSet(watch)) {
        Error = "--interval goes with --watch";
        return false;
    }
    if (parser.isSet(counts) && !parser.isSet(compile) && !parser.isSet(refresh)) {
        Error = "--counts goes with --compile or --refresh";
        return false;
    }
    for (const auto& [option, text] : own) {
        const bool compileOnly = option == &quiet || option == &paths || option == &extended ||
                                 option == &format || option == &unique || option == &explain ||
                                 option == &force;
        if (compileOnly && parser.isSet(*option) && !parser.isSet(compile) &&
            !(option == &quiet && (parser.isSet(refresh) || parser.isSet(watch)))) {
            Error =
                std::string(text) + (option == &quiet ? " goes with --compile, --refresh or --watch"
                                                      : " goes with --compile");
            return false;
        }
    }
    for (const auto& [option, text] : own) {
        if (option->valueName().isEmpty() || !parser.isSet(*option))
            continue;
        if (parser.value(*option).isEmpty()) {
            Error = std::string(text) + " needs a value that is not empty";
            return false;
        }
    }

    Line = TCommandLine();
    Line.SettingsFile = ToBytes(parser.value(settings));
    Line.NoIndex = parser.isSet(noIndex);
    Line.CountsFile = ToBytes(parser.value(counts));
    for (const QString& search : positional)
        Line.Searches.push_back(ToBytes(search));
    if (parser.isSet(help)) {
        Line.Action = TCommandLine::TAction::Help;
    } else if (parser.isSet(version)) {
        Line.Action = TCommandLine::TAction::Version;
    } else if (parser.isSet(compile)) {
        Line.Action = TCommandLine::TAction::Compile;
        Line.Target = ToBytes(parser.value(compile));
        Line.Quiet = parser.isSet(quiet);
        THeadlessOptions& options = Line.Compile;
        if (parser.isSet(paths)) {
            const QString value = parser.value(paths);
            if (value != "absolute" && value != "relative") {
                Error = "--paths takes absolute or relative";
                return false;
            }
            options.Paths = value == "relative" ? PlaylistPaths::Relative : PlaylistPaths::Absolute;
        }
        if (parser.isSet(format)) {
            const QString value = parser.value(format);
            if (value == "m3u")
                options.Format = PlaylistFormat::M3U;
            else if (value == "m3u8")
                options.Format = PlaylistFormat::M3U8;
            else if (value == "pls")
                options.Format = PlaylistFormat::PLS;
            else {
                Error = "--format takes m3u, m3u8 or pls";
                return false;
            }
        }
        options.Extended = parser.isSet(extended);
        options.Unique = parser.isSet(unique);
        options.ExplainFile = ToBytes(parser.value(explain));
        options.CountsFile = Line.CountsFile;
        options.Force = parser.isSet(force);
    } else if (parser.isSet(refresh)) {
        Line.Action = TCommandLine::TAction::Refresh;
        Line.Quiet = parser.isSet(quiet);
    } else if (parser.isSet(watch)) {
        Line.Action = TCommandLine::TAction::Watch;
        Line.Quiet = parser.isSet(quiet);
        if (parser.isSet(interval)) {
            bool number = false;
            const int minutes = parser.value(interval).toInt(&number);
            // A day at most: a longer wait is no longer a fallback.
            if (!number || minutes < 1 || minutes > 1440) {
                Error = "--interval takes a number of minutes from 1 to 1440";
                return false;
            }
            Line.IntervalMinutes = minutes;
        }
    } else if (parser.isSet(screenshots)) {
        Line.Action = TCommandLine::TAction::Screenshots;
        Line.Target = ToBytes(parser.value(screenshots));
    }
    return true;
}

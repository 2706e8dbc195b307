// Entry points that main() dispatches to.
#pragma once

#include <QString>
#include <string>

// Usage text of the command line.
QString UsageText();
// The program's version, "2.0".
const char* ProgramVersion();

// Settings files are raw path bytes, kept as such down to the file.
//
// The headless compile: loads the settings from SettingsFile (never writes it),
// checks adequacy, runs the search and writes PlaylistFile. Returns the exit
// status: 0 written, 1 malformed mask or write error, 2 inadequate settings.
// Status lines and errors go to stderr. Needs a QCoreApplication.
int RunHeadlessCompile(const std::string& SettingsFile, const std::string& PlaylistFile);
// The same with the progress shown as Output says (the program: HeadlessOutputFor).
enum class THeadlessOutput;
int RunHeadlessCompile(const std::string& SettingsFile, const std::string& PlaylistFile,
                       THeadlessOutput Output);
// The same with the playlist options and extras of the command line.
struct THeadlessOptions;
int RunHeadlessCompile(const std::string& SettingsFile, const std::string& PlaylistFile,
                       THeadlessOutput Output, const THeadlessOptions& Options);

// The wizard: creates the main window with the settings of SettingsFile, opens
// the search SearchFile when one is given, and runs the event loop until it
// closes. Needs a QApplication.
// NoIndex: --no-index, no tag is looked up in or remembered by the tag index.
int RunWizard(const std::string& SettingsFile, bool NoIndex = false,
              const std::string& SearchFile = {});

// Renders the welcome panel and every page to PNG files in Folder. Needs a QApplication.
int RenderScreenshots(const std::string& SettingsFile, const QString& Folder);

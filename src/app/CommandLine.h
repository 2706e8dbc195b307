// The program's command line: its own options, checked strictly, with Qt's
// own options (-platform, -style, ...) let through for the application object.
#pragma once

#include <string>
#include <vector>

struct TCommandLine {
    enum class TAction { Wizard, Compile, Screenshots, Help, Version };
    TAction Action = TAction::Wizard;
    std::string SettingsFile; // raw bytes; empty when --settings was not given
    std::string Target;       // the playlist (Compile) or folder (Screenshots), raw bytes
    bool Quiet = false;       // Compile: only errors on stderr
};

// Arguments are argv[1..], as bytes; values come back byte for byte. Returns
// false and sets Error for an unknown option, an option given twice, options
// that exclude each other, a missing or empty value or a stray argument.
bool ParseCommandLine(const std::vector<std::string>& Arguments, TCommandLine& Line,
                      std::string& Error);

// The text form of the settings file: "[Section]" headers and "Name=Value"
// lines, names and values kept as raw bytes (never decoded).
//
// Escapes, all with a backslash: "\\" backslash, "\n" line feed, "\r" carriage
// return, "\t" tab, "\0" NUL byte, "\s" a space at the very start or end of a
// text (elsewhere spaces stay as they are). Names also escape "=" as "\=" and a
// leading "[", ";" or "#"; section names escape "]". Reading turns a backslash
// before any other byte into that byte. Every other byte, '=' ';' '#' '[' in a
// value and bytes that are not UTF-8 included, is written as it is.
//
// Reading skips blank lines and lines starting with ";" or "#", trims blanks
// around names and values, accepts CR LF line ends and a leading UTF-8 mark.
// Names compare without regard to the case of A-Z, as the reference store did.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class IniSection {
public:
    explicit IniSection(std::string Name) : name_(std::move(Name)) {}

    const std::string& Name() const { return name_; }
    const std::vector<std::pair<std::string, std::string>>& Values() const { return values_; }

    // Null when there is no such value.
    const std::string* Find(const std::string& Name) const;
    // Replaces the value in its place, or appends it.
    void Set(const std::string& Name, const std::string& Value);
    // Removes the value, if there is one.
    void Erase(const std::string& Name);

private:
    std::string name_;
    std::vector<std::pair<std::string, std::string>> values_;
    std::unordered_map<std::string, size_t> index_; // folded name -> position in values_
};

// Upper-case A-Z turned to lower case; other bytes unchanged.
std::string FoldIniName(const std::string& Name);

// Parses Text into Sections (a later value of the same name replaces an earlier
// one; a repeated section continues the first). Returns false when a line is
// neither blank, a comment, a section header nor a name=value pair inside a
// section; BadLine then holds the first such line, trimmed, and BadLineNumber
// (when given) its number, counted from 1. Every readable line is taken in
// either case.
bool ParseIni(const std::string& Text, std::vector<IniSection>& Sections, std::string& BadLine,
              std::size_t* BadLineNumber = nullptr);
std::string FormatIni(const std::vector<IniSection>& Sections);

std::string EscapeIniValue(const std::string& Text);
std::string EscapeIniName(const std::string& Text);
std::string EscapeIniSection(const std::string& Text);
std::string UnescapeIni(const std::string& Text);
// A value as written after "=", trimmed: a value in double quotes (as
// QSettings and other INI writers put it) loses its quotes, and the escapes
// inside apply; otherwise as UnescapeIni. EscapeIniValue never writes quotes.
std::string ReadIniValue(const std::string& Text);

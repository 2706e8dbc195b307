// The text form of the settings file: parsing and writing with the escapes
// described in the header.
#include "settings/IniFormat.h"

namespace {

bool IsBlank(char C) {
    return C == ' ' || C == '\t';
}

std::string Trim(const std::string& Text) {
    size_t begin = 0;
    size_t end = Text.size();
    while (begin < end && IsBlank(Text[begin]))
        ++begin;
    while (end > begin && IsBlank(Text[end - 1]))
        --end;
    return Text.substr(begin, end - begin);
}

// Escapes the characters every text needs; Extra lists further bytes to escape.
std::string Escape(const std::string& Text, const char* Extra) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\0':
            out += "\\0";
            break;
        case ' ':
            // Blanks at either end would be trimmed away when read back.
            out += (i == 0 || i + 1 == Text.size()) ? "\\s" : " ";
            break;
        default:
            if (std::string(Extra).find(c) != std::string::npos)
                out += '\\';
            out += c;
        }
    }
    return out;
}

// Position of the first '=' that is not escaped, or npos.
size_t FindSeparator(const std::string& Line) {
    for (size_t i = 0; i < Line.size(); ++i) {
        if (Line[i] == '\\')
            ++i;
        else if (Line[i] == '=')
            return i;
    }
    return std::string::npos;
}

// True when the final ']' of a header line is escaped, so the header never closes.
bool ClosingBracketEscaped(const std::string& Line) {
    size_t backslashes = 0;
    for (size_t i = Line.size() - 1; i > 1 && Line[i - 1] == '\\'; --i)
        ++backslashes;
    return backslashes % 2 == 1;
}

IniSection& SectionNamed(std::vector<IniSection>& Sections, const std::string& Name) {
    const std::string folded = FoldIniName(Name);
    for (IniSection& section : Sections)
        if (FoldIniName(section.Name()) == folded)
            return section;
    return Sections.emplace_back(Name);
}

} // namespace

std::string FoldIniName(const std::string& Name) {
    std::string folded = Name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

const std::string* IniSection::Find(const std::string& Name) const {
    const auto it = index_.find(FoldIniName(Name));
    return it == index_.end() ? nullptr : &values_[it->second].second;
}

void IniSection::Set(const std::string& Name, const std::string& Value) {
    const auto [it, inserted] = index_.emplace(FoldIniName(Name), values_.size());
    if (inserted)
        values_.emplace_back(Name, Value);
    else
        values_[it->second].second = Value;
}

void IniSection::Erase(const std::string& Name) {
    const auto it = index_.find(FoldIniName(Name));
    if (it == index_.end())
        return;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(it->second));
    index_.clear();
    for (size_t i = 0; i < values_.size(); ++i)
        index_.emplace(FoldIniName(values_[i].first), i);
}

std::string EscapeIniValue(const std::string& Text) {
    // A leading quote is escaped, so the text is never read back as a quoted value.
    std::string out = Escape(Text, "");
    if (!out.empty() && out[0] == '"')
        out.insert(out.begin(), '\\');
    return out;
}

std::string ReadIniValue(const std::string& Text) {
    // "..." as other INI writers put it: the quotes go, escapes inside apply.
    if (Text.size() >= 2 && Text.front() == '"' && Text.back() == '"') {
        size_t backslashes = 0;
        for (size_t i = Text.size() - 1; i > 1 && Text[i - 1] == '\\'; --i)
            ++backslashes;
        if (backslashes % 2 == 0)
            return UnescapeIni(Text.substr(1, Text.size() - 2));
    }
    return UnescapeIni(Text);
}

std::string EscapeIniName(const std::string& Text) {
    std::string out = Escape(Text, "=");
    if (!out.empty() && (out[0] == '[' || out[0] == ';' || out[0] == '#'))
        out.insert(out.begin(), '\\');
    return out;
}

std::string EscapeIniSection(const std::string& Text) {
    return Escape(Text, "]");
}

std::string UnescapeIni(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\\' || i + 1 == Text.size()) {
            out += Text[i];
            continue;
        }
        const char next = Text[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        case 's':
            out += ' ';
            break;
        default:
            out += next;
        }
    }
    return out;
}

bool ParseIni(const std::string& Text, std::vector<IniSection>& Sections, std::string& BadLine,
              std::size_t* BadLineNumber) {
    bool clean = true;
    std::size_t number = 0;
    auto fail = [&](const std::string& Line) {
        if (clean) {
            BadLine = Line;
            if (BadLineNumber)
                *BadLineNumber = number;
        }
        clean = false;
    };
    size_t start = Text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    IniSection* current = nullptr;
    while (start < Text.size()) {
        size_t end = Text.find('\n', start);
        if (end == std::string::npos)
            end = Text.size();
        std::string raw = Text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line.size() < 2 || line.back() != ']' || ClosingBracketEscaped(line)) {
                fail(line);
                current = nullptr;
                continue;
            }
            current = &SectionNamed(Sections, UnescapeIni(line.substr(1, line.size() - 2)));
            continue;
        }
        const size_t separator = FindSeparator(line);
        if (separator == std::string::npos || !current) {
            fail(line);
            continue;
        }
        current->Set(UnescapeIni(Trim(line.substr(0, separator))),
                     ReadIniValue(Trim(line.substr(separator + 1))));
    }
    return clean;
}

std::string FormatIni(const std::vector<IniSection>& Sections) {
    std::string text;
    for (const IniSection& section : Sections) {
        if (!text.empty())
            text += '\n';
        text += '[' + EscapeIniSection(section.Name()) + "]\n";
        for (const auto& [name, value] : section.Values())
            text += EscapeIniName(name) + '=' + EscapeIniValue(value) + '\n';
    }
    return text;
}

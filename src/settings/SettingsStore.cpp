// The settings store: named string values in sections, read once from the INI
// file and written back whole.
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <charconv>

namespace {

std::string Bytes(const QString& FileName) {
    return QFile::encodeName(FileName).toStdString();
}

// A path from the environment, or empty when unset or empty.
QString EnvironmentPath(const char* Name) {
    const QByteArray value = qgetenv(Name);
    return value.isEmpty() ? QString() : QFile::decodeName(value);
}

} // namespace

bool SettingsStore::ParseInteger(const std::string& Text, int& Number) {
    const char* begin = Text.data();
    const char* end = begin + Text.size();
    if (end - begin > 1 && *begin == '+' && begin[1] != '-')
        ++begin;
    const auto [stop, error] = std::from_chars(begin, end, Number);
    return begin != end && error == std::errc() && stop == end;
}

QString SettingsStore::DefaultFileName() {
    const QString chosen = EnvironmentPath("MORVANE_SETTINGS");
    if (!chosen.isEmpty())
        return chosen;
    QString config = EnvironmentPath("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    if (config.isEmpty() || QDir::isRelativePath(config)) {
        const QString home = EnvironmentPath("HOME");
        config = (home.isEmpty() ? QDir::homePath() : home) + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/Morvane/2.ini");
}

SettingsStore::SettingsStore(const QString& FileName) : fileName_(FileName) {
    QFile file(FileName);
    if (!file.exists())
        return; // first run: every value has its default
    QByteArray text;
    if (file.open(QIODevice::ReadOnly))
        text = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        damaged_ = true;
        loadError_ = "Invalid data type for '" + Bytes(FileName) + "'";
        return;
    }
    std::string badLine;
    if (!ParseIni(text.toStdString(), sections_, badLine)) {
        damaged_ = true;
        loadError_ = "Invalid data type for '" + badLine + "'";
    }
}

IniSection* SettingsStore::FindSection(const std::string& Name) {
    const std::string folded = FoldIniName(Name);
    for (IniSection& section : sections_)
        if (FoldIniName(section.Name()) == folded)
            return &section;
    return nullptr;
}

const IniSection* SettingsStore::FindSection(const std::string& Name) const {
    return const_cast<SettingsStore*>(this)->FindSection(Name);
}

std::string SettingsStore::ReadString(const std::string& Section, const std::string& Name,
                                      const std::string& Default) const {
    const IniSection* section = FindSection(Section);
    const std::string* value = section ? section->Find(Name) : nullptr;
    return value ? *value : Default;
}

int SettingsStore::ReadInteger(const std::string& Section, const std::string& Name,
                               int Default) const {
    const IniSection* section = FindSection(Section);
    const std::string* value = section ? section->Find(Name) : nullptr;
    if (!value)
        return Default;
    int number = 0;
    if (ParseInteger(*value, number))
        return number;
    defaultedValues_ = true;
    return Default;
}

bool SettingsStore::ReadBool(const std::string& Section, const std::string& Name,
                             bool Default) const {
    return ReadInteger(Section, Name, Default ? 1 : 0) != 0;
}

void SettingsStore::WriteString(const std::string& Section, const std::string& Name,
                                const std::string& Text) {
    IniSection* section = FindSection(Section);
    if (!section)
        section = &sections_.emplace_back(Section);
    section->Set(Name, Text);
}

void SettingsStore::WriteInteger(const std::string& Section, const std::string& Name, int Number) {
    WriteString(Section, Name, std::to_string(Number));
}

void SettingsStore::WriteBool(const std::string& Section, const std::string& Name, bool Flag) {
    WriteString(Section, Name, Flag ? "1" : "0");
}

void SettingsStore::EraseSection(const std::string& Section) {
    // Sections named "Section\..." lie below it, as subkeys did.
    const std::string folded = FoldIniName(Section);
    const std::string below = folded + '\\';
    std::erase_if(sections_, [&](const IniSection& section) {
        const std::string name = FoldIniName(section.Name());
        return name == folded || name.starts_with(below);
    });
}

bool SettingsStore::SectionExists(const std::string& Section) const {
    return FindSection(Section) != nullptr;
}

const std::vector<std::pair<std::string, std::string>>&
SettingsStore::SectionValues(const std::string& Section) const {
    static const std::vector<std::pair<std::string, std::string>> none;
    const IniSection* section = FindSection(Section);
    return section ? section->Values() : none;
}

void SettingsStore::KeepDamagedCopy() {
    const QString stem = fileName_ + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = stem;
    for (int n = 2; QFileInfo::exists(copy) || QFileInfo(copy).isSymLink(); ++n)
        copy = stem + QLatin1Char('-') + QString::number(n);
    if (!QFile::copy(fileName_, copy))
        throw ESettingsError("Failed to create key " + Bytes(fileName_));
    damagedCopyName_ = copy;
}

void SettingsStore::Flush() {
    const std::string failedKey = "Failed to create key " + Bytes(fileName_);
    if ((damaged_ || defaultedValues_) && QFileInfo::exists(fileName_))
        KeepDamagedCopy();
    const QFileInfo info(fileName_);
    if (!QDir().mkpath(info.absolutePath()))
        throw ESettingsError(failedKey);

    QSaveFile file(fileName_);
    // Unbuffered, so a failing write is seen by write() itself: a buffered one
    // surfaced only at commit(), which then renamed a truncated file into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw ESettingsError(failedKey);
    const QByteArray text = QByteArray::fromStdString(FormatIni(sections_));
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        throw ESettingsError("Failed to set data for '" + Bytes(fileName_) + "'");
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::RenameError)
            throw ESettingsError(failedKey);
        throw ESettingsError("Failed to set data for '" + Bytes(fileName_) + "'");
    }
    damaged_ = false;
    defaultedValues_ = false;
}

// Path splitting shared by the search, the tag readers, the playlists and the list.
#include "files/Paths.h"

namespace {

char LowerAscii(char C) {
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

} // namespace

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

std::string_view FileNameOf(std::string_view Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string_view::npos ? Path : Path.substr(slash + 1);
}

std::string_view ExtensionOf(std::string_view Path) {
    const std::string_view name = FileNameOf(Path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string LowerExtension(std::string_view Path) {
    std::string extension(ExtensionOf(Path));
    for (char& c : extension)
        c = LowerAscii(c);
    return extension;
}

bool HasExtension(std::string_view Path, std::string_view Lower) {
    const std::string_view extension = ExtensionOf(Path);
    if (extension.size() != Lower.size())
        return false;
    for (size_t i = 0; i < extension.size(); ++i)
        if (LowerAscii(extension[i]) != Lower[i])
            return false;
    return true;
}

// Entries relative to a music folder, found by their spelling.
#include "playlists/RootPaths.h"

#include <cstdlib>
#include <memory>

namespace {

// An absolute path with "//" and "/." parts taken out and no trailing "/";
// empty when it is not absolute or has a ".." part, which only the file
// system could resolve.
std::string CleanAbsolute(const std::string& Path) {
    if (Path.empty() || Path[0] != '/')
        return {};
    std::string clean;
    for (std::size_t at = 1; at <= Path.size();) {
        const std::size_t next = std::min(Path.find('/', at), Path.size());
        const std::string part = Path.substr(at, next - at);
        if (part == "..")
            return {};
        if (!part.empty() && part != ".")
            clean += '/' + part;
        at = next + 1;
    }
    return clean.empty() ? "/" : clean;
}

} // namespace

TRootPaths::TRootPaths(const std::string& Root) {
    const std::string spelt = CleanAbsolute(Root);
    if (spelt.empty())
        return;
    roots_.push_back(spelt);
    std::unique_ptr<char, decltype(&std::free)> real(realpath(spelt.c_str(), nullptr), &std::free);
    if (real && spelt != real.get())
        roots_.emplace_back(real.get());
}

bool TRootPaths::Make(const std::string& Entry, std::string& Relative) const {
    const std::string entry = CleanAbsolute(Entry);
    if (entry.empty() || entry == "/")
        return false;
    for (const std::string& root : roots_) {
        std::string rest;
        if (root == "/")
            rest = entry.substr(1);
        else if (entry.size() > root.size() + 1 && entry.compare(0, root.size(), root) == 0 &&
                 entry[root.size()] == '/')
            rest = entry.substr(root.size() + 1);
        else
            continue;
        if (rest.front() == '#' || rest.front() == ' ' || rest.back() == ' ' ||
            rest.find_first_of("\r\n") != std::string::npos)
            return false;
        Relative = std::move(rest);
        return true;
    }
    return false;
}

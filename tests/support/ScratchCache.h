// Points $XDG_CACHE_HOME at a scratch folder for the whole test program, so
// that compiles run by the tests remember tags there and never in the
// user's own cache. Removed when the program ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class TScratchCache {
public:
    TScratchCache() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "morvane-cache-XXXXXX").string();
        if (mkdtemp(pattern.data())) {
            path_ = pattern;
            setenv("XDG_CACHE_HOME", path_.c_str(), 1);
        }
    }
    ~TScratchCache() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TScratchCache(const TScratchCache&) = delete;
    TScratchCache& operator=(const TScratchCache&) = delete;

private:
    std::string path_;
};

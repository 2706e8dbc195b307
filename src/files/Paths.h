// Taking a path apart by its last '/': the folder that holds a file, the file's
// name and the name's extension. Paths are raw bytes; nothing is looked up on disk.
#pragma once

#include <string>
#include <string_view>

// Everything before the last '/' ("." without one, "/" for the root).
std::string FolderOf(const std::string& Path);
// Everything after the last '/' (the whole path without one).
std::string_view FileNameOf(std::string_view Path);

// The extension of the path's file name, dot included ("x/a.Mp3" gives ".Mp3");
// empty when the name has no dot.
std::string_view ExtensionOf(std::string_view Path);
// The extension in lower case (A-Z only; other bytes as they are).
std::string LowerExtension(std::string_view Path);
// Whether the extension is Lower ("x/a.MP3" is ".mp3"), compared without case.
// Lower is given in lower case, dot included.
bool HasExtension(std::string_view Path, std::string_view Lower);

// How texts are shown and read back: tag texts and masks are UTF-8, paths are
// raw bytes in the file system's encoding that never change.
#pragma once

#include <QString>

#include <string>
#include <string_view>

// A UTF-8 text: tag texts arrive decoded from the tag readers. Bytes that are
// not UTF-8 (a hand-edited settings file) are read in the default tag code
// page, as the masks read them.
QString DisplayText(std::string_view Bytes);
// A path in the file system's encoding (QFile::decodeName).
QString DisplayPath(const std::string& Path);
// The file system's bytes of a path a picker returned (QFile::encodeName).
std::string PathBytes(const QString& Path);
// The bytes of text the user typed, as UTF-8.
std::string TypedBytes(const QString& Text);

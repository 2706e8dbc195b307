// How raw byte texts (tag texts, masks, paths) are shown and read back: only the
// display decodes, the stored bytes never change.
#pragma once

#include <QString>

#include <string>

// A text starting with a UTF-16 byte-order mark as UTF-16, else valid UTF-8 as
// UTF-8, else Latin-1.
QString DisplayText(const std::string& Bytes);
// A path in the file system's encoding (QFile::decodeName).
QString DisplayPath(const std::string& Path);
// The file system's bytes of a path a picker returned (QFile::encodeName).
std::string PathBytes(const QString& Path);
// The bytes of text the user typed, as UTF-8.
std::string TypedBytes(const QString& Text);

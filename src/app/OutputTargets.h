// Where a compile may write: never over the settings file, never both outputs
// into one file, and over an existing file only when it is one of ours.
#pragma once

#include <string>
#include <vector>

enum class TOutputKind { Playlist, Explain, Counts };

// Whether A and B name one file: the same device and inode where both exist,
// else the same absolute path once their folders are resolved.
bool SameFile(const std::string& A, const std::string& B);

// Why Target must not be written as Kind whatever the user says: it is the
// settings file. Empty when it may be.
std::string TargetIsSettingsFile(const std::string& Target, TOutputKind Kind,
                                 const std::string& SettingsFile);

// Why an existing Target is no file a compile would write, in words to
// follow the file's name ("the filename mask *.mp3 selects it", "it is no
// playlist"): the filename masks select it as a file to search, or its first
// bytes are not a playlist's (Kind Playlist), an explain file's (Kind
// Explain) or a counts file's (Kind Counts). Empty when it is absent, empty or ours. A malformed
// mask selects nothing here.
std::string TargetIsForeign(const std::string& Target, TOutputKind Kind,
                            const std::vector<std::string>& FilenameMasks);

// "refusing to replace TARGET with the playlist: WHY (--force replaces it)".
std::string ForeignTargetRefusal(const std::string& Target, TOutputKind Kind,
                                 const std::string& Why);

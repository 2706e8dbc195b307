// Writes a file's whole content so that a failure or a crash never leaves it
// half written: used for the playlists and for the settings file alike.
#pragma once

#include "files/Paths.h"

#include <string>

// Where a write went wrong: errno, and whether bytes were being put on disk
// (rather than the file being opened or given its name).
struct TWriteFailure {
    int Error = 0;
    bool WhileWriting = false;
    // The copy of the former content that an in-place rewrite keeps first
    // could not be made; the file was not touched.
    bool WhileKeepingFormer = false;
};

// Makes Bytes the whole content of FileName (raw path bytes). A regular file
// is replaced by a complete new one keeping its permissions (a new file gets
// 0666 less the umask): written unnamed (O_TMPFILE) and linked in when
// complete, so a failure or a crash leaves the former file as it was and no
// other file behind; where the file system has no unnamed files, a hidden
// side file ".NAME.part-XXXXXXXX" is renamed over it instead. A file with
// more than one name (hard links), or in a folder this process may not
// change, is rewritten in place (truncated to the new length, synced) once
// the new content is known to fit and the former content is kept in a
// journal copy (SaveJournal.h); an I/O error after that puts the former
// content back, and a crash leaves it for the next start to put back. A symbolic link
// is written through (its target is replaced, the link stays); a FIFO or
// device node is written in place. Returns false with Failure set.
bool ReplaceFileContents(const std::string& FileName, const std::string& Bytes,
                         TWriteFailure& Failure);

// The cause in a few words: "Disk full", "Folder not found", "Invalid
// filename", "Too many open files", "File access denied" or "I/O error N";
// for the journal copy, followed by " while keeping a copy of the former
// file in FOLDER".
std::string WriteFailureCause(const TWriteFailure& Failure);

// Crash safety for a file rewritten where it is (a hard-linked file, or one in
// a folder that may not be changed): its former content is kept in a journal
// copy first, and a later run that finds the copy puts the file back.
#pragma once

#include <string>
#include <vector>

// The folder that holds the journal copies: $XDG_CACHE_HOME/morvane, or
// ~/.cache/morvane when XDG_CACHE_HOME is unset or not an absolute path.
std::string SaveJournalFolder();

// One in-place save under way. Begin() keeps the former content of the open
// file Fd (named FileName) in the journal folder, synced, under a name made of
// the file's device and inode, and holds a lock on it so that no recovery
// touches the file meanwhile. End() removes the copy once the new content is
// on disk; a journal that was never ended (the process was killed) is what
// RecoverInterruptedSaves finds.
class TSaveJournal {
public:
    TSaveJournal() = default;
    ~TSaveJournal();
    TSaveJournal(const TSaveJournal&) = delete;
    TSaveJournal& operator=(const TSaveJournal&) = delete;

    // False with errno set when the copy cannot be made complete (no cache
    // folder, a full disk, the former file unreadable): nothing may be written
    // over the file then. NewBytes is what the save is about to write: a run
    // that finds it complete keeps it rather than the former content.
    bool Begin(int Fd, const std::string& FileName, const std::string& NewBytes);
    // The save failed part way: the former content goes back into Fd. The
    // copy stays for the next start when even that fails.
    void PutBack(int Fd);
    void End();

private:
    int journal_ = -1;
    std::string name_;
    std::string former_;
};

// What a start did about one in-place save that an earlier run left unfinished.
struct TInterruptedSave {
    enum class TOutcome {
        Restored, // the file holds its former content again
        Finished, // the new content was complete: kept
        Replaced, // the file was removed or replaced since; the copy is kept as KeptCopy
        Failed,   // the file could not be put back; tried again at the next start
    };
    std::string FileName;
    TOutcome Outcome = TOutcome::Failed;
    std::string KeptCopy; // Replaced: where the former content now is
    int Error = 0;        // Failed: errno
};

// Puts back every file whose in-place save a killed run left unfinished, as
// the journal folder records them. Saves still under way in another process
// are left alone. Returns what was found, for the caller to say so.
std::vector<TInterruptedSave> RecoverInterruptedSaves();

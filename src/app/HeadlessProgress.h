// What the headless compile tells on stderr while it runs: one line that
// rewrites itself on a terminal, a few status lines in a log, or only errors.
#pragma once

#include "engine/CompileJob.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

enum class THeadlessOutput {
    EveryStatus, // each "Searching" status on its own line, as it comes
    Lines,       // status lines at most one a second, then always the final line
    Terminal,    // one progress line, rewritten in place, then the final line
    Quiet,       // only errors
};

// Terminal when stderr is one, Lines otherwise; Quiet when asked for.
THeadlessOutput HeadlessOutputFor(bool Quiet);

class THeadlessProgress {
public:
    using TWrite = std::function<void(std::string_view)>;
    using TClock = std::function<double()>; // seconds, never going back

    // Width: the terminal's columns, which a progress line must not reach.
    THeadlessProgress(THeadlessOutput Mode, TWrite Write, TClock Clock, std::size_t Width = 80);
    // Writes to stderr, with the steady clock and the terminal's width.
    explicit THeadlessProgress(THeadlessOutput Mode);

    // A "Searching <folder>..." status of the run.
    void Status(const std::string& Text);
    // The counts after an entry.
    void Update(const SearchProgress& Progress);
    // The run walked every folder: the last counts and its final status.
    void Finish(const std::string& FinalStatus);
    // Shown in every mode, on a line of its own.
    void Error(const std::string& Text);
    // What happened after the search (duplicates removed...): on a line of
    // its own in every mode but Quiet.
    void Note(const std::string& Text);

private:
    void WriteLine(const std::string& Text);
    void Draw(double Now);
    std::string ProgressLine(double Now) const;
    void ClearProgressLine();

    THeadlessOutput mode_;
    TWrite write_;
    TClock clock_;
    std::size_t width_;
    double start_;

    SearchProgress counts_;     // without Folder, which points into the run
    std::string folder_;        // a copy of it
    bool lineShown_ = false;    // Terminal: the progress line is on the screen
    double lastDraw_ = -1e30;   // Terminal: when it was drawn
    double lastStatus_ = -1e30; // Lines: when a status line was written
    std::string heldStatus_;    // Lines: the newest status not yet written
};

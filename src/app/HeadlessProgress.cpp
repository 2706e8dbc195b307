// The headless compile's progress on stderr. A log gets few lines (a large
// library has tens of thousands of folders) and a terminal one line that is
// redrawn a few times a second, never wider than the terminal, so that it
// never wraps and "\r" always returns to its start.
#include "app/HeadlessProgress.h"

#include "model/MessageText.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

namespace {

constexpr double RedrawSeconds = 0.1;
constexpr double StatusSeconds = 1.0;

const char* const ClearToEnd = "\x1b[K";

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::size_t TerminalWidth() {
    winsize Size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0)
        return Size.ws_col;
    return 80;
}

void WriteStderr(std::string_view Text) {
    while (!Text.empty()) {
        const ssize_t Written = write(STDERR_FILENO, Text.data(), Text.size());
        if (Written <= 0)
            return; // a closed stderr must not stop the compile
        Text.remove_prefix(static_cast<std::size_t>(Written));
    }
}

// The columns a quoted text takes, counting any character beyond ASCII as
// two: a line that may come out shorter is better than one that wraps.
std::size_t Columns(std::string_view Text) {
    std::size_t Count = 0;
    for (const char C : Text) {
        const auto Byte = static_cast<unsigned char>(C);
        if (Byte < 0x80)
            ++Count;
        else if ((Byte & 0xC0) != 0x80)
            Count += 2;
    }
    return Count;
}

// The end of Quoted that fits in Room columns, after "..." when cut.
std::string KeepEnd(const std::string& Quoted, std::size_t Room) {
    if (Columns(Quoted) <= Room)
        return Quoted;
    if (Room < 4)
        return std::string(Room, '.');
    std::size_t Start = Quoted.size();
    std::size_t Used = 3;
    while (Start > 0) {
        std::size_t Begin = Start - 1; // back to the start of a character
        while (Begin > 0 && (static_cast<unsigned char>(Quoted[Begin]) & 0xC0) == 0x80)
            --Begin;
        const std::size_t Width = Columns(std::string_view(Quoted).substr(Begin, Start - Begin));
        if (Used + Width > Room)
            break;
        Used += Width;
        Start = Begin;
    }
    // An escape "\xNN" cut in its middle would read as other bytes.
    const std::size_t Escape = Quoted.rfind("\\x", Start);
    if (Escape != std::string::npos && Escape + 4 > Start && Escape < Start)
        Start = Escape + 4;
    return "..." + Quoted.substr(Start);
}

} // namespace

THeadlessOutput HeadlessOutputFor(bool Quiet) {
    if (Quiet)
        return THeadlessOutput::Quiet;
    return isatty(STDERR_FILENO) ? THeadlessOutput::Terminal : THeadlessOutput::Lines;
}

THeadlessProgress::THeadlessProgress(THeadlessOutput Mode, TWrite Write, TClock Clock,
                                     std::size_t Width)
    : mode_(Mode), write_(std::move(Write)), clock_(std::move(Clock)), width_(Width),
      start_(clock_()) {}

THeadlessProgress::THeadlessProgress(THeadlessOutput Mode)
    : THeadlessProgress(Mode, WriteStderr, SteadySeconds,
                        Mode == THeadlessOutput::Terminal ? TerminalWidth() : 80) {}

// Folder names in the status lines are bytes from the disk: a log shown on a
// terminal must not act on it.
void THeadlessProgress::WriteLine(const std::string& Text) {
    write_(QuoteForMessage(Text, std::string::npos) + '\n');
}

void THeadlessProgress::Status(const std::string& Text) {
    switch (mode_) {
    case THeadlessOutput::EveryStatus:
        WriteLine(Text);
        break;
    case THeadlessOutput::Lines: {
        const double Now = clock_();
        if (Now - lastStatus_ >= StatusSeconds) {
            WriteLine(Text);
            lastStatus_ = Now;
            heldStatus_.clear();
        } else {
            heldStatus_ = Text;
        }
        break;
    }
    case THeadlessOutput::Terminal:
    case THeadlessOutput::Quiet:
        break; // the progress line names the folder
    }
}

void THeadlessProgress::Update(const SearchProgress& Progress) {
    if (mode_ != THeadlessOutput::Terminal && mode_ != THeadlessOutput::Lines)
        return;
    const double Now = clock_();
    if (mode_ == THeadlessOutput::Lines) {
        // A status held back goes out once its second is over, though the
        // folder it names may take long to search.
        if (!heldStatus_.empty() && Now - lastStatus_ >= StatusSeconds) {
            WriteLine(heldStatus_);
            heldStatus_.clear();
            lastStatus_ = Now;
        }
        return;
    }
    counts_ = Progress;
    counts_.Folder = {}; // valid only during this call
    if (Progress.Folder != folder_)
        folder_.assign(Progress.Folder);
    if (Now - lastDraw_ >= RedrawSeconds)
        Draw(Now);
}

void THeadlessProgress::Finish(const std::string& FinalStatus) {
    switch (mode_) {
    case THeadlessOutput::Quiet:
        return;
    case THeadlessOutput::Terminal:
        Draw(clock_());
        write_("\n");
        lineShown_ = false;
        break;
    case THeadlessOutput::Lines:
        if (!heldStatus_.empty())
            WriteLine(heldStatus_); // the last folder searched
        heldStatus_.clear();
        break;
    case THeadlessOutput::EveryStatus:
        break;
    }
    WriteLine(FinalStatus);
}

void THeadlessProgress::Error(const std::string& Text) {
    ClearProgressLine();
    WriteLine(Text);
}

void THeadlessProgress::Note(const std::string& Text) {
    if (mode_ == THeadlessOutput::Quiet)
        return;
    ClearProgressLine();
    WriteLine(Text);
}

void THeadlessProgress::ClearProgressLine() {
    if (!lineShown_)
        return;
    write_(std::string("\r") + ClearToEnd);
    lineShown_ = false;
}

void THeadlessProgress::Draw(double Now) {
    write_('\r' + ProgressLine(Now) + ClearToEnd);
    lineShown_ = true;
    lastDraw_ = Now;
}

std::string THeadlessProgress::ProgressLine(double Now) const {
    const double Elapsed = Now - start_;
    const auto Rate =
        Elapsed > 0 ? static_cast<unsigned long long>(std::llround(counts_.Files / Elapsed)) : 0;
    const std::string Counts = std::to_string(counts_.Files) + " files seen, " +
                               std::to_string(counts_.Accepted) + " accepted, " +
                               std::to_string(counts_.Folders) + " folders";
    const std::string Speed = ", " + std::to_string(Rate) + " files/s";
    // The last column stays free: writing it makes some terminals wrap.
    const std::size_t Room = width_ > 1 ? width_ - 1 : 1;
    std::string Line = Counts;
    if (!folder_.empty()) {
        const std::size_t Fixed = Counts.size() + 5 + Speed.size();
        // The tail is quoted, so a huge name costs no more than a long one.
        const std::size_t Tail = folder_.size() > 4096 ? folder_.size() - 4096 : 0;
        Line += ", in " + KeepEnd(QuoteForMessage(std::string_view(folder_).substr(Tail), 4096),
                                  Room > Fixed ? Room - Fixed : 0);
    }
    Line += Speed;
    return Columns(Line) <= Room ? Line : Line.substr(0, Room);
}

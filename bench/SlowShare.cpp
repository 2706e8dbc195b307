// LD_PRELOAD shim for the benchmark only: files and folders under
// $BENCH_SLOW_PREFIX answer each open and each read 0.5 ms late, as a network
// share does. Everything else (the tag index among it) is untouched.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace {

constexpr int TrackedFds = 1 << 16;
std::atomic<bool> Slow[TrackedFds];

const char* Prefix() {
    static const char* Value = std::getenv("BENCH_SLOW_PREFIX");
    return Value && Value[0] ? Value : nullptr;
}

void Delay() {
    const timespec HalfMillisecond{0, 500000};
    nanosleep(&HalfMillisecond, nullptr);
}

bool Under(int DirFd, const char* Path) {
    const char* Wanted = Prefix();
    if (!Wanted || !Path)
        return false;
    if (Path[0] == '/')
        return strncmp(Path, Wanted, strlen(Wanted)) == 0;
    return DirFd >= 0 && DirFd < TrackedFds && Slow[DirFd].load(std::memory_order_relaxed);
}

int Opened(int Fd, bool IsSlow) {
    if (Fd >= 0 && Fd < TrackedFds)
        Slow[Fd].store(IsSlow, std::memory_order_relaxed);
    return Fd;
}

bool IsSlowFd(int Fd) {
    return Fd >= 0 && Fd < TrackedFds && Slow[Fd].load(std::memory_order_relaxed);
}

template <class F> F Real(const char* Name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, Name));
}

// The mode argument an open call has only when it creates.
mode_t ModeArgument(int Flags, va_list& Args) {
    return Flags & (O_CREAT | O_TMPFILE) ? static_cast<mode_t>(va_arg(Args, int)) : 0;
}

// Around every open: the delay first for a path under the slow folder, and
// the descriptor marked for the reads.
template <class Call> int SlowOpen(int DirFd, const char* Path, Call&& Next) {
    const bool IsSlow = Under(DirFd, Path);
    if (IsSlow)
        Delay();
    return Opened(Next(), IsSlow);
}

// Around every read: the delay for a descriptor opened under the slow folder.
template <class Call> ssize_t SlowRead(int Fd, Call&& Next) {
    if (IsSlowFd(Fd))
        Delay();
    return Next();
}

} // namespace

extern "C" {

int open(const char* Path, int Flags, ...) {
    static auto Next = Real<int (*)(const char*, int, ...)>("open");
    va_list Args;
    va_start(Args, Flags);
    const mode_t Mode = ModeArgument(Flags, Args);
    va_end(Args);
    return SlowOpen(-1, Path, [&] { return Next(Path, Flags, Mode); });
}

int open64(const char* Path, int Flags, ...) {
    static auto Next = Real<int (*)(const char*, int, ...)>("open64");
    va_list Args;
    va_start(Args, Flags);
    const mode_t Mode = ModeArgument(Flags, Args);
    va_end(Args);
    return SlowOpen(-1, Path, [&] { return Next(Path, Flags, Mode); });
}

int openat(int DirFd, const char* Path, int Flags, ...) {
    static auto Next = Real<int (*)(int, const char*, int, ...)>("openat");
    va_list Args;
    va_start(Args, Flags);
    const mode_t Mode = ModeArgument(Flags, Args);
    va_end(Args);
    return SlowOpen(DirFd, Path, [&] { return Next(DirFd, Path, Flags, Mode); });
}

int openat64(int DirFd, const char* Path, int Flags, ...) {
    static auto Next = Real<int (*)(int, const char*, int, ...)>("openat64");
    va_list Args;
    va_start(Args, Flags);
    const mode_t Mode = ModeArgument(Flags, Args);
    va_end(Args);
    return SlowOpen(DirFd, Path, [&] { return Next(DirFd, Path, Flags, Mode); });
}

int dup(int Fd) {
    static auto Next = Real<int (*)(int)>("dup");
    return Opened(Next(Fd), IsSlowFd(Fd));
}

ssize_t read(int Fd, void* Buffer, size_t Count) {
    static auto Next = Real<ssize_t (*)(int, void*, size_t)>("read");
    return SlowRead(Fd, [&] { return Next(Fd, Buffer, Count); });
}

ssize_t pread(int Fd, void* Buffer, size_t Count, off_t Offset) {
    static auto Next = Real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    return SlowRead(Fd, [&] { return Next(Fd, Buffer, Count, Offset); });
}

ssize_t pread64(int Fd, void* Buffer, size_t Count, off64_t Offset) {
    static auto Next = Real<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
    return SlowRead(Fd, [&] { return Next(Fd, Buffer, Count, Offset); });
}

int close(int Fd) {
    static auto Next = Real<int (*)(int)>("close");
    if (Fd >= 0 && Fd < TrackedFds)
        Slow[Fd].store(false, std::memory_order_relaxed);
    return Next(Fd);
}

} // extern "C"

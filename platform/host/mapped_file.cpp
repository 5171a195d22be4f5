// Mapped files on the host: mmap of the real file, outside the simulated
// drives (the tool's inputs are native paths). POSIX does not stop another
// program from shortening the file under the view, and a disk may fail
// under it; a read of the view that the file can no longer back then
// raises SIGBUS. The tool's own writers never shorten a mapped file, as
// they replace a file by renaming a new one over it.
#include "platform/mapped_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct MappedFileObject {
    const std::uint8_t* data;
    std::size_t size;
    int watchSlot;  // its record for the bus-error handler, or -1
};

namespace {

// What the bus-error handler reads: the mapped views, to name the file a
// failed read came from, and the files marked unfinished, to remove them.
// Each is copied into a fixed slot, so that the handler never reads memory
// another thread may be freeing. The handler claims a slot before it reads
// it and never gives it back, as the process ends with the handler, so no
// new record is written into a slot while the handler reads it. A record
// beyond the slots or the path length is not kept: a failed read of such a
// view ends the process as the signal does, and such an output stays behind.
struct HandlerSlot {
    enum State { Free, Filling, Held, Claimed };
    std::atomic<int> state{Free};
    const std::uint8_t* data = nullptr;  // a view's bytes; none for an output
    std::size_t size = 0;
    std::array<char, PATH_MAX> path{};
};
using HandlerSlots = std::array<HandlerSlot, 16>;
HandlerSlots watchedViews;
HandlerSlots unfinishedOutputs;

// The slot now holding the record, or -1.
int Record(HandlerSlots& slots, const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        HandlerSlot& slot = slots[i];
        int expected = HandlerSlot::Free;
        if (!slot.state.compare_exchange_strong(expected, HandlerSlot::Filling)) continue;
        slot.data = data;
        slot.size = size;
        std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
        slot.state.store(HandlerSlot::Held);
        return static_cast<int>(i);
    }
    return -1;
}

// Gives the slot back, unless the handler has claimed it.
void Forget(HandlerSlots& slots, int index) {
    if (index < 0) return;
    int held = HandlerSlot::Held;
    slots[static_cast<std::size_t>(index)].state.compare_exchange_strong(held, HandlerSlot::Free);
}

// Claims a held slot for the handler, or finds it claimed already (by the
// handler on another thread whose read failed at the same time): either
// way its record no longer changes. False for a slot that holds nothing.
bool Claim(HandlerSlot& slot) {
    int state = HandlerSlot::Held;
    return slot.state.compare_exchange_strong(state, HandlerSlot::Claimed) || state == HandlerSlot::Claimed;
}

void RemoveUnfinishedOutputs() {
    for (HandlerSlot& slot : unfinishedOutputs)
        if (Claim(slot)) ::unlink(slot.path.data());
}

void WriteToStandardError(const char* text) {
    for (std::size_t left = std::strlen(text); left > 0;) {
        const ssize_t written = ::write(STDERR_FILENO, text, left);
        if (written <= 0) return;
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

// Only calls that are safe in a signal handler: the process stops with a
// message naming the file instead of dying of the signal, and takes its
// unfinished outputs with it.
void OnBusError(int signal, siginfo_t* info, void*) {
    const auto* address = static_cast<const std::uint8_t*>(info->si_addr);
    for (HandlerSlot& view : watchedViews) {
        if (Claim(view) && address >= view.data && address < view.data + view.size) {
            RemoveUnfinishedOutputs();
            WriteToStandardError(view.path.data());
            WriteToStandardError(": the file could not be read while in use (another program shortened it, "
                                 "or the disk failed)\n");
            ::_exit(1);
        }
    }
    // Not a view of ours: the signal's own action, on returning to the
    // faulting access.
    ::signal(signal, SIG_DFL);
}

// Ctrl-C, a closed terminal, a kill or a write past the file size limit
// (ulimit -f): the unfinished outputs go, and the signal then ends the
// process as it would have (the handler is reset by then), with the status
// that tells the shell so.
void OnStop(int signal) {
    RemoveUnfinishedOutputs();
    ::raise(signal);
}

// The view's slot for the handler, which is installed on the first call.
int Watch(const std::string& path, const std::uint8_t* data, std::size_t size) {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, nullptr);
    });
    return Record(watchedViews, path, data, size);
}

MappedFile Fail(MapFailure why, MapFailure* failure) {
    *failure = why;
    return nullptr;
}

// Closes the descriptor on every way out: the mapping does not need it.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

void MappedFileCloser::operator()(MappedFileObject* file) const {
    Forget(watchedViews, file->watchSlot);
    ::munmap(const_cast<std::uint8_t*>(file->data), file->size);
    delete file;
}

MappedFile MapFileForRead(const std::filesystem::path& nativePath, MapFailure* failure) {
    // Without waiting for a writer, should it be a pipe: that is refused below.
    const Descriptor file{::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0)
        return Fail(errno == ENOENT || errno == ENOTDIR ? MapFailure::Missing : MapFailure::CantOpen, failure);
    struct stat info;
    if (::fstat(file.fd, &info) != 0) return Fail(MapFailure::CantOpen, failure);
    if (!S_ISREG(info.st_mode)) return Fail(MapFailure::NotAFile, failure);
    if (info.st_size == 0) return Fail(MapFailure::Empty, failure);
    if (!FitsOneView(static_cast<std::uint64_t>(info.st_size))) return Fail(MapFailure::CantMap, failure);
    const auto size = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (view == MAP_FAILED) return Fail(MapFailure::CantMap, failure);
    *failure = MapFailure::None;
    const auto* data = static_cast<const std::uint8_t*>(view);
    return MappedFile(new MappedFileObject{data, size, Watch(nativePath.native(), data, size)});
}

std::span<const std::uint8_t> MappedBytes(const MappedFileObject* file) {
    return {file->data, file->size};
}

UnfinishedOutput::UnfinishedOutput(const std::filesystem::path& nativePath)
    : slot_(Record(unfinishedOutputs, nativePath.native(), nullptr, 0)) {
    static std::once_flag installed;
    std::call_once(installed, [] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
            struct sigaction action {};
            // A signal the caller chose to ignore (nohup) stays ignored.
            if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
            action.sa_handler = OnStop;
            action.sa_flags = SA_RESETHAND;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal, &action, nullptr);
        }
    });
}

UnfinishedOutput::~UnfinishedOutput() { Forget(unfinishedOutputs, slot_); }

}  // namespace platform

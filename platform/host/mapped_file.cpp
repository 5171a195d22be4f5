// Mapped files on the host: mmap of the real file, outside the simulated
// drives (the tool's inputs are native paths). POSIX does not stop another
// program from shortening the file under the view, and a disk may fail
// under it; a read of the view that the file can no longer back then
// raises SIGBUS. The tool's own writers never shorten a mapped file, as
// they replace a file by renaming a new one over it.
#include "platform/mapped_file.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct MappedFileObject {
    const std::uint8_t* data;
    std::size_t size;
    std::string path;
};

namespace {

// The views a bus error is looked up in. A view beyond the slots still
// works; a failed read of it ends the process as the signal does.
std::array<std::atomic<const MappedFileObject*>, 16> watchedViews{};

// The files marked unfinished. Their paths are copied into fixed slots, so
// that the signal handler never reads memory another thread may be freeing,
// and a slot the handler has taken is never given back, so that no new mark
// writes its path while the handler reads it. A mark beyond the slots or the
// path length is not recorded: its file stays behind should the process stop.
struct UnfinishedSlot {
    enum State { Free, Filling, Held, Removing };
    std::atomic<int> state{Free};
    std::array<char, PATH_MAX> path{};
};
std::array<UnfinishedSlot, 16> unfinishedOutputs;

void RemoveUnfinishedOutputs() {
    for (UnfinishedSlot& slot : unfinishedOutputs) {
        int held = UnfinishedSlot::Held;
        if (slot.state.compare_exchange_strong(held, UnfinishedSlot::Removing)) ::unlink(slot.path.data());
    }
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
    for (const auto& slot : watchedViews) {
        const MappedFileObject* view = slot.load();
        if (view && address >= view->data && address < view->data + view->size) {
            RemoveUnfinishedOutputs();
            WriteToStandardError(view->path.c_str());
            WriteToStandardError(": the file could not be read while in use (another program shortened it, "
                                 "or the disk failed)\n");
            ::_exit(1);
        }
    }
    // Not a view of ours: the signal's own action, on returning to the
    // faulting access.
    ::signal(signal, SIG_DFL);
}

void Watch(const MappedFileObject* view) {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, nullptr);
    });
    for (auto& slot : watchedViews) {
        const MappedFileObject* none = nullptr;
        if (slot.compare_exchange_strong(none, view)) return;
    }
}

void Unwatch(const MappedFileObject* view) {
    for (auto& slot : watchedViews) {
        const MappedFileObject* expected = view;
        if (slot.compare_exchange_strong(expected, nullptr)) return;
    }
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
    Unwatch(file);
    ::munmap(const_cast<std::uint8_t*>(file->data), file->size);
    delete file;
}

MappedFile MapFileForRead(const std::string& nativePath, MapFailure* failure) {
    const Descriptor file{::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return Fail(MapFailure::CantOpen, failure);
    struct stat info;
    if (::fstat(file.fd, &info) != 0) return Fail(MapFailure::CantOpen, failure);
    if (!S_ISREG(info.st_mode)) return Fail(MapFailure::NotAFile, failure);
    if (info.st_size == 0) return Fail(MapFailure::Empty, failure);
    if (static_cast<std::uint64_t>(info.st_size) > SIZE_MAX / 2)
        return Fail(MapFailure::CantMap, failure);
    const auto size = static_cast<std::size_t>(info.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (view == MAP_FAILED) return Fail(MapFailure::CantMap, failure);
    *failure = MapFailure::None;
    MappedFile mapped(new MappedFileObject{static_cast<const std::uint8_t*>(view), size, nativePath});
    Watch(mapped.get());
    return mapped;
}

std::span<const std::uint8_t> MappedBytes(const MappedFileObject* file) {
    return {file->data, file->size};
}

UnfinishedOutput::UnfinishedOutput(const std::filesystem::path& nativePath) {
    const std::string& path = nativePath.native();
    if (path.size() >= UnfinishedSlot{}.path.size()) return;
    for (std::size_t i = 0; i < unfinishedOutputs.size(); ++i) {
        UnfinishedSlot& slot = unfinishedOutputs[i];
        int expected = UnfinishedSlot::Free;
        if (!slot.state.compare_exchange_strong(expected, UnfinishedSlot::Filling)) continue;
        std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
        slot.state.store(UnfinishedSlot::Held);
        slot_ = static_cast<int>(i);
        return;
    }
}

UnfinishedOutput::~UnfinishedOutput() {
    if (slot_ < 0) return;
    int held = UnfinishedSlot::Held;
    unfinishedOutputs[static_cast<std::size_t>(slot_)].state.compare_exchange_strong(held, UnfinishedSlot::Free);
}

}  // namespace platform

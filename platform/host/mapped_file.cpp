// Mapped files on the host: mmap of the real file, outside the simulated
// drives (the tool's inputs are native paths). POSIX does not stop another
// program from shortening the file under the view; the tool's own writers
// never do, as they replace a file by renaming a new one over it.
#include "platform/mapped_file.h"

#include <cstddef>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct MappedFileObject {
    const std::uint8_t* data;
    std::size_t size;
};

void MappedFileCloser::operator()(MappedFileObject* file) const {
    ::munmap(const_cast<std::uint8_t*>(file->data), file->size);
    delete file;
}

namespace {

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
    return MappedFile(new MappedFileObject{static_cast<const std::uint8_t*>(view), size});
}

std::span<const std::uint8_t> MappedBytes(const MappedFileObject* file) {
    return {file->data, file->size};
}

}  // namespace platform

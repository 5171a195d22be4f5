// Mapped files through a read-only file mapping object and one view of it.
#include "platform/mapped_file.h"

#include <cstddef>
#include <utility>

#include "platform/win32/handles.h"

namespace platform {

struct MappedFileObject {
    const std::uint8_t* data;
    std::size_t size;
    // Held open while the view lives: its sharing is what keeps others from
    // writing the file; the view alone would only keep them from shortening it.
    HANDLE file;
};

void MappedFileCloser::operator()(MappedFileObject* file) const {
    ::UnmapViewOfFile(file->data);
    ::CloseHandle(file->file);
    delete file;
}

namespace {

MappedFile Fail(MapFailure why, MapFailure* failure) {
    *failure = why;
    return nullptr;
}

}  // namespace

MappedFile MapFileForRead(const std::filesystem::path& nativePath, MapFailure* failure) {
    const DWORD attributes = ::GetFileAttributesW(nativePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Fail(MapFailure::NotAFile, failure);
    // Shared for reading only: nobody may change the file under the view.
    // The view keeps the mapping object alive, so its handle is closed on
    // every way out; the file's goes to the view.
    win32::OwnedHandle file{::CreateFileW(nativePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return Fail(missing ? MapFailure::Missing : MapFailure::CantOpen, failure);
    }
    if (::GetFileType(file.handle) != FILE_TYPE_DISK) return Fail(MapFailure::NotAFile, failure);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.handle, &size)) return Fail(MapFailure::CantOpen, failure);
    if (size.QuadPart == 0) return Fail(MapFailure::Empty, failure);
    if (!FitsOneView(static_cast<std::uint64_t>(size.QuadPart))) return Fail(MapFailure::CantMap, failure);
    const win32::OwnedHandle mapping{::CreateFileMappingA(file.handle, nullptr, PAGE_READONLY, 0, 0, nullptr)};
    if (!mapping.valid()) return Fail(MapFailure::CantMap, failure);
    const void* view = ::MapViewOfFile(mapping.handle, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) return Fail(MapFailure::CantMap, failure);
    *failure = MapFailure::None;
    return MappedFile(new MappedFileObject{static_cast<const std::uint8_t*>(view),
                                           static_cast<std::size_t>(size.QuadPart),
                                           std::exchange(file.handle, nullptr)});
}

std::span<const std::uint8_t> MappedBytes(const MappedFileObject* file) {
    return {file->data, file->size};
}

UnfinishedOutput::UnfinishedOutput(const std::filesystem::path&) {}
UnfinishedOutput::~UnfinishedOutput() = default;

}  // namespace platform

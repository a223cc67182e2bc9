#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace veskator {
namespace {

class PosixFile final : public File {
  public:
    explicit PosixFile(int fd) : m_fd(fd) {}
    ~PosixFile() override { ::close(m_fd); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    std::size_t read(std::span<std::uint8_t> buffer) override {
        std::size_t total = 0;
        while (total < buffer.size()) {
            ssize_t n = ::read(m_fd, buffer.data() + total, buffer.size() - total);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            total += static_cast<std::size_t>(n);
        }
        return total;
    }

    bool write(std::span<const std::uint8_t> bytes) override {
        std::size_t total = 0;
        while (total < bytes.size()) {
            ssize_t n = ::write(m_fd, bytes.data() + total, bytes.size() - total);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            total += static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int m_fd;
};

}  // namespace

PosixFileSystem::PosixFileSystem(std::filesystem::path base) : m_base(std::move(base)) {}

std::filesystem::path PosixFileSystem::resolve(std::string_view path) const {
    std::filesystem::path p{std::string(path)};
    return p.is_absolute() ? p : m_base / p;
}

namespace {

mode_t fileMode(FileAccess access) { return access == FileAccess::OwnerOnly ? 0600 : 0644; }

}  // namespace

std::unique_ptr<File> PosixFileSystem::openFile(std::string_view path, FileOpen mode,
                                                FileAccess access) {
    if (path.empty()) return nullptr;
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileOpen::ReadExisting:
            flags |= O_RDONLY;
            break;
        case FileOpen::OpenOrCreate:
            flags |= O_RDWR | O_CREAT;
            break;
        case FileOpen::CreateEmpty:
            flags |= O_RDWR | O_CREAT | O_TRUNC;
            break;
    }
    const std::string full = resolve(path).string();
    // The mode applies to a file created here only; one that exists keeps its own.
    int fd = ::open(full.c_str(), flags, fileMode(access));
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
}

bool PosixFileSystem::createDirectory(std::string_view path, FileAccess access) {
    std::error_code ec;
    const std::filesystem::path full = resolve(path);
    const bool created = std::filesystem::create_directories(full, ec);
    if (created && access == FileAccess::OwnerOnly) {
        std::filesystem::permissions(full, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
    }
    return std::filesystem::is_directory(full, ec);
}

bool PosixFileSystem::removeFile(std::string_view path) {
    return !path.empty() && ::unlink(resolve(path).c_str()) == 0;
}

std::error_code PosixFileSystem::appendDurably(std::string_view path, std::string_view bytes,
                                               FileAccess access) {
    if (path.empty()) return std::make_error_code(std::errc::invalid_argument);
    // Opened for each addition: another program appending, or a rewrite that renamed a new file
    // into place, is never written past.
    const int fd =
        ::open(resolve(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, fileMode(access));
    if (fd < 0) return {errno, std::generic_category()};
    PosixFile file(fd);
    errno = 0;
    if (!file.write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())))
        return {errno != 0 ? errno : EIO, std::generic_category()};
    if (::fsync(fd) != 0) return {errno, std::generic_category()};
    return {};
}

std::vector<std::string> PosixFileSystem::listFiles(std::string_view directory) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(resolve(directory), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code kindError;
        if (it->is_regular_file(kindError)) names.push_back(it->path().filename().string());
    }
    return names;
}

bool FileSystem::writeWhole(std::string_view path, std::string_view bytes, FileAccess access,
                            Existing existing) {
    if (existing == Existing::Keep && open(path, FileOpen::ReadExisting)) return false;
    return writeWholeFile(*this, path, bytes, access);
}

bool PosixFileSystem::writeWhole(std::string_view path, std::string_view bytes, FileAccess access,
                                 Existing existing) {
    if (path.empty()) return false;
    const std::filesystem::path target = resolve(path);
    // Beside the target: a rename within one file system replaces the file in one step.
    std::string temporary = target.string() + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;

    struct stat there {};
    const mode_t mode =
        ::stat(target.c_str(), &there) == 0 ? there.st_mode & 07777 : fileMode(access);
    bool ok = ::fchmod(fd, mode) == 0;
    {
        PosixFile file(fd);
        ok = ok && file.write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                        bytes.size()));
        ok = ok && ::fsync(fd) == 0;
    }
    if (existing == Existing::Keep) {
        // A link fails where a file stands: nothing is ever replaced, even by a file that
        // appeared meanwhile.
        ok = ok && ::link(temporary.c_str(), target.c_str()) == 0;
        ::unlink(temporary.c_str());
    } else {
        ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory. Should that flush fail, the new
    // content is in place all the same; only its surviving a power loss is less certain.
    const std::filesystem::path directory =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::unique_ptr<File> openForReading(FileSystem& files, std::string_view path, bool* created) {
    if (created != nullptr) *created = false;
    if (auto file = files.open(path, FileOpen::ReadExisting)) return file;
    auto file = files.open(path, FileOpen::OpenOrCreate);
    if (file && created != nullptr) *created = true;
    return file;
}

std::optional<std::string> readFileStart(FileSystem& files, std::string_view path,
                                         std::size_t maxBytes, FileOpen mode) {
    auto file =
        mode == FileOpen::OpenOrCreate ? openForReading(files, path) : files.open(path, mode);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> buffer(maxBytes);
    const std::size_t n = file->read(buffer);
    return std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
}

bool writeWholeFile(FileSystem& files, std::string_view path, std::string_view bytes,
                    FileAccess access) {
    auto file = files.open(path, FileOpen::CreateEmpty, access);
    if (!file) return false;
    return file->write(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace veskator

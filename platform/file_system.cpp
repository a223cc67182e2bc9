#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::unique_ptr<File> PosixFileSystem::open(std::string_view path, FileOpen mode) {
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
    int fd = ::open(full.c_str(), flags, 0644);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
}

bool PosixFileSystem::makeDirectory(std::string_view path) {
    std::error_code ec;
    std::filesystem::create_directories(resolve(path), ec);
    return !ec && std::filesystem::is_directory(resolve(path), ec);
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

bool writeWholeFile(FileSystem& files, std::string_view path, std::string_view bytes) {
    auto file = files.open(path, FileOpen::CreateEmpty);
    if (!file) return false;
    return file->write(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace veskator

#pragma once
// Files with the three ways of opening that the working files need. Relative paths resolve
// against the file system's base directory (the process's current directory by default).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace veskator {

enum class FileOpen {
    ReadExisting,  // fails when the file is missing
    OpenOrCreate,  // read and write; created when missing, never emptied
    CreateEmpty,   // read and write; created, or emptied when it exists
};

class File {
  public:
    virtual ~File() = default;
    // Reads up to buffer.size() bytes from the current position; returns the count read.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    // Writes all bytes at the current position; false when any could not be written.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
};

// Who may read a file or folder the program creates. What holds the device's settings (its
// passwords among them) is the owner's alone. A file that exists keeps the mode its owner gave it.
enum class FileAccess { Shared, OwnerOnly };
// Whether a whole-file write may replace a file that is there.
enum class Existing { Replace, Keep };

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    std::unique_ptr<File> open(std::string_view path, FileOpen mode,
                               FileAccess access = FileAccess::Shared) {
        return openFile(path, mode, access);
    }
    bool makeDirectory(std::string_view path, FileAccess access = FileAccess::Shared) {
        return createDirectory(path, access);
    }
    // Replaces the file's content with the bytes as one step: afterwards the file holds either
    // all of them or, on failure (false), what it held before. With Existing::Keep a file that is
    // there is never replaced: false, and it stays as it was.
    bool writeFileAtomically(std::string_view path, std::string_view bytes,
                             FileAccess access = FileAccess::Shared,
                             Existing existing = Existing::Replace) {
        return writeWhole(path, bytes, access, existing);
    }
    // Adds the bytes at the end of the file (created when missing) and waits until they are on
    // the disk; what went wrong otherwise. This default cannot make bytes durable and says so.
    virtual std::error_code appendDurably(std::string_view /*path*/, std::string_view /*bytes*/,
                                          FileAccess /*access*/ = FileAccess::Shared) {
        return std::make_error_code(std::errc::operation_not_supported);
    }
    // Deletes a file; false when it is missing or cannot be deleted. This default cannot delete.
    virtual bool removeFile(std::string_view /*path*/) { return false; }
    // The names of the regular files in a directory, in no set order; none when it is missing
    // or cannot be read. This default lists none.
    virtual std::vector<std::string> listFiles(std::string_view /*directory*/) { return {}; }

  protected:
    virtual std::unique_ptr<File> openFile(std::string_view path, FileOpen mode,
                                           FileAccess access) = 0;
    virtual bool createDirectory(std::string_view path, FileAccess access) = 0;
    // This default writes in place, for a file system that cannot replace a file whole.
    virtual bool writeWhole(std::string_view path, std::string_view bytes, FileAccess access,
                            Existing existing);
};

class PosixFileSystem final : public FileSystem {
  public:
    explicit PosixFileSystem(std::filesystem::path base = std::filesystem::current_path());
    bool removeFile(std::string_view path) override;
    std::error_code appendDurably(std::string_view path, std::string_view bytes,
                                  FileAccess access = FileAccess::Shared) override;
    std::vector<std::string> listFiles(std::string_view directory) override;
    const std::filesystem::path& base() const { return m_base; }

  protected:
    std::unique_ptr<File> openFile(std::string_view path, FileOpen mode,
                                   FileAccess access) override;
    bool createDirectory(std::string_view path, FileAccess access) override;
    // Writes a temporary file beside the target, flushes it to the disk and renames (or, to keep
    // an existing file, links) it into place, so that neither a failed write nor a crash or power
    // loss leaves a half-written file.
    bool writeWhole(std::string_view path, std::string_view bytes, FileAccess access,
                    Existing existing) override;

  private:
    std::filesystem::path resolve(std::string_view path) const;
    std::filesystem::path m_base;
};

// Opens an existing file for reading only, so that a read-only file still reads; a missing one is
// created empty (and `created` set).
std::unique_ptr<File> openForReading(FileSystem& files, std::string_view path,
                                     bool* created = nullptr);
// The first maxBytes bytes of a file opened with mode (OpenOrCreate: as openForReading); nullopt
// when it cannot be opened.
std::optional<std::string> readFileStart(FileSystem& files, std::string_view path,
                                         std::size_t maxBytes,
                                         FileOpen mode = FileOpen::ReadExisting);
// Creates or empties the file and writes the bytes; false on any failure.
bool writeWholeFile(FileSystem& files, std::string_view path, std::string_view bytes,
                    FileAccess access = FileAccess::Shared);

}  // namespace veskator

#pragma once
// Files held in memory for the fuzz targets: no disk, nothing left behind.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace veskator::fuzz {

class MemoryFiles final : public FileSystem {
  public:
    void put(std::string name, std::span<const std::uint8_t> bytes) {
        m_files[std::move(name)].assign(bytes.begin(), bytes.end());
    }
    bool holds(std::string_view name) const { return m_files.contains(std::string(name)); }
    // Folders whose making fails.
    std::set<std::string> unmakeable;

  protected:
    std::unique_ptr<File> openFile(std::string_view path, FileOpen mode,
                                   FileAccess /*access*/) override {
        const std::string name(path);
        auto it = m_files.find(name);
        if (it == m_files.end()) {
            if (mode == FileOpen::ReadExisting || name.empty()) return nullptr;
            it = m_files.emplace(name, std::vector<std::uint8_t>{}).first;
        }
        if (mode == FileOpen::CreateEmpty) it->second.clear();
        return std::make_unique<MemoryFile>(it->second);
    }
    bool createDirectory(std::string_view path, FileAccess /*access*/) override {
        return !unmakeable.contains(std::string(path));
    }

  private:
    class MemoryFile final : public File {
      public:
        explicit MemoryFile(std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}
        std::size_t read(std::span<std::uint8_t> buffer) override {
            const std::size_t n = std::min(buffer.size(), m_bytes.size() - m_at);
            std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at), n, buffer.begin());
            m_at += n;
            return n;
        }
        bool write(std::span<const std::uint8_t> bytes) override {
            if (m_bytes.size() < m_at + bytes.size()) m_bytes.resize(m_at + bytes.size());
            std::copy(bytes.begin(), bytes.end(),
                      m_bytes.begin() + static_cast<std::ptrdiff_t>(m_at));
            m_at += bytes.size();
            return true;
        }

      private:
        std::vector<std::uint8_t>& m_bytes;
        std::size_t m_at = 0;
    };

    std::map<std::string, std::vector<std::uint8_t>> m_files;
};

}  // namespace veskator::fuzz

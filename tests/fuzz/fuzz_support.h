#pragma once
// What the fuzz targets share: a check that stops the run where a property fails (the fuzzer then
// keeps the input that broke it), and a reader that takes an input apart from both ends.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

namespace veskator::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* condition,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n%s\n", file, line, condition, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// Bytes as a C string literal would show them, for the failure texts.
inline std::string printable(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (const std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7f && b != '\\') {
            out += static_cast<char>(b);
        } else {
            constexpr std::string_view kDigits = "0123456789abcdef";
            out += "\\x";
            out += kDigits[b >> 4];
            out += kDigits[b & 0xf];
        }
    }
    return out;
}

inline std::string printable(std::string_view text) {
    return printable(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// An input read from the front (what the harness does) and from the back (what the other side
// decides), so that the two streams do not shift each other when the fuzzer edits one. Both give
// zeros once they meet.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_end(size) {}

    bool exhausted() const { return m_begin >= m_end; }
    std::size_t remaining() const { return m_end - m_begin; }

    std::uint8_t front() { return exhausted() ? 0 : m_data[m_begin++]; }
    std::uint8_t back() { return exhausted() ? 0 : m_data[--m_end]; }
    int frontBelow(int n) { return n <= 1 ? 0 : front() % n; }
    int backBelow(int n) { return n <= 1 ? 0 : back() % n; }
    // Low byte first. Two reads in one expression would be taken in whichever order the compiler
    // likes, and a saved input would mean something else to another compiler.
    int front16() {
        const int low = front();
        return low | front() << 8;
    }
    // Up to `most` bytes from the front.
    std::span<const std::uint8_t> frontBytes(std::size_t most) {
        const std::size_t n = std::min(most, remaining());
        const std::span<const std::uint8_t> bytes(m_data + m_begin, n);
        m_begin += n;
        return bytes;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_begin = 0;
    std::size_t m_end;
};

}  // namespace veskator::fuzz

// Aborts with the condition, where it stands and `detail` (a std::string, built only on failure).
#define FUZZ_CHECK(condition, detail)                                                     \
    do {                                                                                  \
        if (!(condition)) ::veskator::fuzz::fail(__FILE__, __LINE__, #condition, detail); \
    } while (false)

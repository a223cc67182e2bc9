// The fuzz targets as plain tests: every saved input of the folders (or files) named on the
// command line goes through the target once, in name order. A folder with no input fails, so a
// corpus that went missing is noticed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> contentOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path place(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(place, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(place, error)) {
                if (entry.is_regular_file()) inputs.push_back(entry.path());
            }
        } else if (std::filesystem::is_regular_file(place, error)) {
            inputs.push_back(place);
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no saved inputs to replay\n");
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
        const std::vector<std::uint8_t> bytes = contentOf(path);
        std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
        // An empty file has no data pointer of its own; the target is handed a valid one anyway.
        static const std::uint8_t kNothing = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}

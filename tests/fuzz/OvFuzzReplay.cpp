// The main of a replay test: feeds every file of the folders it is given, in name order, to the
// fuzz target's entry point, so that an input that once failed keeps being tried by the normal
// test suite. A failing input aborts inside the entry point, naming what went wrong.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::set<fs::path> inputs; // a folder that does not exist holds no input
        std::error_code error;
        for (fs::directory_iterator it(argv[i], error), end; !error && it != end; ++it)
            if (it->is_regular_file() && it->path().filename().string().front() != '.')
                inputs.insert(it->path());
        for (const fs::path &path : inputs) {
            std::ifstream file(path, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
            std::fprintf(stderr, "replaying %s\n", path.c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()),
                                   bytes.size());
            ++replayed;
        }
    }
    std::printf("%d inputs replayed, none failed\n", replayed);
    return 0;
}

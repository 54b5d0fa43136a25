// Runs every file of a fuzz corpus through its target once, in the normal
// build: a crash or a broken property found by fuzzing stays fixed.
#include "fuzz_target.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "uso: %s PASTA_DO_CORPUS...\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    // An empty corpus would pass without checking anything.
    if (files.empty()) {
        std::fprintf(stderr, "nenhuma entrada em %s\n", argv[1]);
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& path : files) {
        // Named before it runs, so that a crash says which input it was.
        std::fprintf(stderr, "%s\n", path.c_str());
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu entradas reproduzidas sem falha\n", files.size());
    return 0;
}

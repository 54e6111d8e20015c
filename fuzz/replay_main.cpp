// Replays saved fuzz inputs through a target's LLVMFuzzerTestOneInput, so the
// ordinary gcc test run catches a seed or a past crasher that fails again,
// without clang or libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// Appends the inputs a command-line argument names: a file itself, or every
// regular file of a folder in name order so a failing run always stops at the
// same input. A folder without inputs is an error: a lost corpus must not
// pass as a clean replay.
bool CollectInputs(const fs::path& argument, std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_regular_file(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    if (!fs::is_directory(argument, error)) {
        std::cerr << "replay: " << argument.string() << " is neither a corpus folder nor a file\n";
        return false;
    }
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(argument, error)) {
        if (entry.is_regular_file(error)) {
            found.push_back(entry.path());
        }
    }
    if (error) {
        std::cerr << "replay: cannot list " << argument.string() << ": " << error.message() << '\n';
        return false;
    }
    if (found.empty()) {
        std::cerr << "replay: no inputs in " << argument.string() << '\n';
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

// The whole file in a buffer of exactly its size, so the sanitizers see any
// read past the input's end as libFuzzer would.
bool ReadInput(const fs::path& path, std::unique_ptr<std::uint8_t[]>& data, std::size_t& size) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    size = static_cast<std::size_t>(in.tellg());
    data = std::make_unique<std::uint8_t[]>(size);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(data.get()), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount()) == size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " CORPUS_FOLDER_OR_FILE...\n";
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!CollectInputs(argv[i], inputs)) {
            return 1;
        }
    }
    for (const auto& path : inputs) {
        // Named before it runs: after a crash the last name is the culprit.
        std::cerr << "replay: " << path.string() << '\n';
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t size = 0;
        if (!ReadInput(path, data, size)) {
            std::cerr << "replay: cannot read " << path.string() << '\n';
            return 1;
        }
        LLVMFuzzerTestOneInput(data.get(), size);
    }
    std::cerr << "replay: " << inputs.size() << " inputs ran clean\n";
    return 0;
}

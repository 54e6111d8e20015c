// Encrypts and decrypts one large file with EncryptSettingsFile and
// DecryptSettingsFile, on the hardware and on the portable code, and does the
// same work with the openssl command line: AES-128-CTR over the file and an
// HMAC-SHA1 of the ciphertext, for encryption (enc, then dgst of the result)
// and for decryption (dgst of the ciphertext, then enc -d). Every step runs
// as its own process, in turns within one run, and the median of the rounds
// is compared. Peak resident memory is measured in separate, untimed runs of
// our operations: a thread samples the process's exact resident size (Rss in
// /proc/self/smaps_rollup, which walks the page tables) every 200 us, and the
// largest sample is reported above that of an empty process of this program
// sampled the same way. (The kernel's VmHWM and the rusage figure are not used:
// the first lags behind the per-CPU page counters by a few hundred KiB, the
// second inherits the spawning process's peak.)
//
//   cipher_bench [--size-mib N] [--rounds N] [--dir FOLDER]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cipher/backend.h"
#include "util/settings_file.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Starts a program, waits for it and returns its wall time in seconds. A
// failing step ends the benchmark: a wrong result must not pass as a time.
double RunProcess(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + args[0]);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        throw std::runtime_error("cannot wait for " + args[0]);
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string line;
        for (const std::string& a : args) {
            line += a + " ";
        }
        throw std::runtime_error("failed: " + line);
    }
    return std::chrono::duration<double>(end - start).count();
}

// The process's resident size in KiB, counted from its page tables.
long ResidentKib() {
    std::ifstream rollup("/proc/self/smaps_rollup");
    std::string line;
    while (std::getline(rollup, line)) {
        if (line.rfind("Rss:", 0) == 0) {
            return std::strtol(line.c_str() + 4, nullptr, 10);
        }
    }
    return -1;
}

// Samples the resident size on its own thread until destroyed.
class ResidentSampler {
public:
    ResidentSampler()
        : thread_([this] {
              while (!stop_.load()) {
                  peak_.store(std::max(peak_.load(), ResidentKib()));
                  std::this_thread::sleep_for(std::chrono::microseconds(200));
              }
          }) {}
    ~ResidentSampler() { Stop(); }
    long Stop() {
        if (thread_.joinable()) {
            stop_.store(true);
            thread_.join();
        }
        return std::max(peak_.load(), ResidentKib());
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<long> peak_{0};
    std::thread thread_;
};

long ReadNumber(const std::string& path) {
    std::ifstream in(path);
    long value = -1;
    in >> value;
    return value;
}

// The child side: one settings file operation on the chosen code, or an
// empty run. With a PEAKFILE other than "-" the resident size is sampled and
// its peak written there.
//   --child PEAKFILE empty
//   --child PEAKFILE encrypt|decrypt hardware|portable SOURCE TARGET
int RunChild(int argc, char** argv) {
    const std::string peakFile = argv[2];
    const std::string what = argc > 3 ? argv[3] : "";
    std::unique_ptr<ResidentSampler> sampler;
    if (peakFile != "-") {
        sampler = std::make_unique<ResidentSampler>();
    }
    bool done = false;
    if (what == "empty" && argc == 4) {
        // Long enough for the sampler to see the process settle.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        done = true;
    } else if (argc == 7) {
        cipher::SetBackend(std::string(argv[4]) == "portable" ? cipher::Backend::Portable
                                                              : cipher::Backend::Hardware);
        if (what == "encrypt") {
            util::EncryptSettingsFile(argv[5], argv[6]);
            done = true;
        } else if (what == "decrypt") {
            done = util::DecryptSettingsFile(argv[5], argv[6]);
        }
    }
    if (sampler) {
        std::ofstream(peakFile) << sampler->Stop() << "\n";
    }
    return done ? 0 : 1;
}

void WriteRandomFile(const fs::path& path, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> chunk(1 << 16);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t written = 0; written < size;) {
        for (auto& word : chunk) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            word = x;
        }
        const std::uint64_t n = std::min<std::uint64_t>(size - written, chunk.size() * 8);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n));
        written += n;
    }
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        try {
            return RunChild(argc, argv);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
    }
    std::uint64_t sizeMib = 256;
    int rounds = 5;
    fs::path base = fs::temp_directory_path();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--size-mib") {
            sizeMib = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (option == "--rounds") {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--dir") {
            base = argv[i + 1];
        }
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    std::string pattern = (base / "zorvane-cipher-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const std::string plain = (dir / "plain").string();
    const std::string oursEnc = (dir / "ours.dat").string();
    const std::string oursDec = (dir / "ours.txt").string();
    const std::string sslEnc = (dir / "openssl.enc").string();
    const std::string sslDec = (dir / "openssl.txt").string();
    const std::string sslMac = (dir / "openssl.mac").string();
    // Fixed key, counter start and MAC key for openssl; their values do not
    // change its speed.
    const std::string key = "000102030405060708090a0b0c0d0e0f";
    const std::string iv = "00000000000000000000000000000000";
    const std::string macKey = "0123456789abcdef0123";

    int exitCode = 0;
    try {
        WriteRandomFile(plain, sizeMib << 20);
        std::map<std::string, std::vector<double>> times;
        auto ours = [&](const std::string& name, const std::vector<std::string>& args) {
            std::vector<std::string> all = {self, "--child", "-"};
            all.insert(all.end(), args.begin(), args.end());
            times[name].push_back(RunProcess(all));
        };
        for (int round = 0; round < rounds; ++round) {
            for (const std::string backend : {"hardware", "portable"}) {
                const std::string name = "ours " + backend;
                ours(name + " encrypt", {"encrypt", backend, plain, oursEnc});
                ours(name + " decrypt", {"decrypt", backend, oursEnc, oursDec});
                const double enc = RunProcess({"openssl", "enc", "-aes-128-ctr", "-K", key, "-iv",
                                               iv, "-in", plain, "-out", sslEnc});
                const double encMac = RunProcess({"openssl", "dgst", "-sha1", "-hmac", macKey,
                                                  "-binary", "-out", sslMac, sslEnc});
                times["openssl encrypt"].push_back(enc + encMac);
                const double decMac = RunProcess({"openssl", "dgst", "-sha1", "-hmac", macKey,
                                                  "-binary", "-out", sslMac, sslEnc});
                const double dec = RunProcess({"openssl", "enc", "-d", "-aes-128-ctr", "-K", key,
                                               "-iv", iv, "-in", sslEnc, "-out", sslDec});
                times["openssl decrypt"].push_back(decMac + dec);
            }
        }
        const std::string peakFile = (dir / "peak").string();
        auto sampledPeak = [&](const std::vector<std::string>& args) {
            std::vector<std::string> all = {self, "--child", peakFile};
            all.insert(all.end(), args.begin(), args.end());
            RunProcess(all);
            return ReadNumber(peakFile);
        };
        const long emptyRss = sampledPeak({"empty"});
        std::map<std::string, long> peak;
        for (const std::string backend : {"hardware", "portable"}) {
            peak["ours " + backend] = std::max(sampledPeak({"encrypt", backend, plain, oursEnc}),
                                               sampledPeak({"decrypt", backend, oursEnc, oursDec}));
        }
        std::printf("file %llu MiB, %d rounds, median wall times in seconds\n",
                    static_cast<unsigned long long>(sizeMib), rounds);
        std::printf("AES-NI %s, SHA extensions %s\n",
                    cipher::AesHardwareAvailable() ? "present" : "absent",
                    cipher::ShaHardwareAvailable() ? "present" : "absent");
        auto total = [&](const std::string& name) {
            return Median(times[name + " encrypt"]) + Median(times[name + " decrypt"]);
        };
        for (const std::string name : {"ours hardware", "ours portable", "openssl"}) {
            std::printf("%-14s encrypt %7.3f  decrypt %7.3f  total %7.3f", name.c_str(),
                        Median(times[name + " encrypt"]), Median(times[name + " decrypt"]),
                        total(name));
            if (name != "openssl") {
                const long rss = peak[name];
                std::printf("  peak RSS %ld KiB (%+ld KiB above an empty process)", rss,
                            rss - emptyRss);
            }
            std::printf("\n");
        }
        std::printf("empty process peak RSS %ld KiB\n", emptyRss);
        std::printf(
            "ratio ours/openssl: hardware %.3f (encrypt %.3f, decrypt %.3f), portable %.3f\n",
            total("ours hardware") / total("openssl"),
            Median(times["ours hardware encrypt"]) / Median(times["openssl encrypt"]),
            Median(times["ours hardware decrypt"]) / Median(times["openssl decrypt"]),
            total("ours portable") / total("openssl"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cipher_bench: %s\n", error.what());
        exitCode = 1;
    }
    fs::remove_all(dir);
    return exitCode;
}

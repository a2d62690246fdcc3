// Prints how long velmo-cli takes to program the simulated chip on the real clock at 24 MHz
// (bit delay 2 us), for the chip's byte-write times of 500 and 2000 us: the default program
// (only the bytes that are not 0xFF, each confirmed by data polling) and --all (every byte) of
// the example program and of a full image of random bytes, each against the time the program
// took before it polled and skipped erased bytes (16.5 s for both files at 500 us, or what a
// reference build measures). Each run is checked: exit status 0 and the chip file holding the
// image.
//
//   bench_cli [board|raw] [repeats] [--reference PATH-TO-AN-OLDER-velmo-cli]
//   default: board 1 (the fastest of the repeats counts)
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/Crc16.h"
#include "image/FlashImage.h"
#include "image/ImageFiles.h"

using namespace velmo;

namespace {

struct Run {
    bool ok = false;
    double seconds = 0;
    long maxRssKb = 0;
};

std::string ProgramDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the program with the simulator (VELMO_SIM_OPTIONS as set) and the given chip file.
Run RunCli(const std::string& binary, const std::vector<std::string>& args,
           const std::string& chipFile) {
    Run run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::setenv("VELMO_PORT", "sim", 1);
        ::setenv("VELMO_SIM_CHIP", chipFile.c_str(), 1);
        ::unsetenv("VELMO_TRACE");
        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.maxRssKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

bool WriteImage(const std::string& path, const FlashImage& image) {
    return SaveImageFile(path, image);
}

// The time of the fastest of repeats runs, each starting from an erased chip and checked to
// leave expected in it; a failed run gives no time.
Run Fastest(const std::string& binary, const std::vector<std::string>& args,
            const std::string& chip, const std::string& simOptions, const FlashImage& expected,
            int repeats) {
    Run best{false, 1e9, 0};
    FlashImage erased;
    ClearImage(erased);
    for (int r = 0; r < repeats; ++r) {
        WriteImage(chip, erased);
        ::setenv("VELMO_SIM_OPTIONS", simOptions.c_str(), 1);
        const Run run = RunCli(binary, args, chip);
        if (!run.ok || ReadAll(chip) != std::string(expected.begin(), expected.end())) return {};
        if (run.seconds < best.seconds) best = run;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = "board";
    int repeats = 1;
    std::string reference;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reference" && i + 1 < argc) {
            reference = argv[++i];
        } else if (arg == "board" || arg == "raw") {
            mode = arg;
        } else {
            repeats = std::max(1, std::atoi(arg.c_str()));
        }
    }
    const std::string binary = ProgramDirectory() + "/velmo-cli";
    if (::access(binary.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "velmo-cli not found beside this program: %s\n", binary.c_str());
        return 1;
    }
    if (!reference.empty() && ::access(reference.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "reference velmo-cli not found: %s\n", reference.c_str());
        return 1;
    }

    char pattern[] = "/tmp/velmo-bench-cli-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::string chip = dir + "/chip.bin";
    const std::string randomFile = dir + "/random.bin";

    const LoadedImage example = LoadImageFile(VELMO_EXAMPLE_HEX);
    FlashImage random;
    std::uint32_t state = 12345;
    for (auto& byte : random) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    WriteImage(randomFile, random);
    const struct {
        const char* name;
        std::string file;
        FlashImage image;
    } files[] = {{"example", VELMO_EXAMPLE_HEX, example.image}, {"random", randomFile, random}};

    std::printf(
        "velmo-cli on the simulated AT89S53, real clock, %s mode, --clock 24 "
        "(bit delay 2 us), best of %d\n",
        mode.c_str(), repeats);
    std::printf("  the example: %zu bytes not 0xFF; the random image: %zu of 12288\n",
                CountNotBlank(example.image), CountNotBlank(random));
    std::printf("  before: %s\n\n", reference.empty()
                                        ? "16.5 s for each file at 500 us (as measured before)"
                                        : ("the default program of " + reference).c_str());
    std::printf("  %-7s %-8s %10s %10s %10s %10s %8s\n", "write", "file", "default", "--all",
                "before", "default/", "target");
    std::printf("  %-7s %-8s %10s %10s %10s %10s\n", "", "", "s", "s", "s", "before");

    bool allOk = true;
    long peakKb = 0;
    for (const unsigned writeTime : {500u, 2000u}) {
        const std::string sim = "clock=real,writetime=" + std::to_string(writeTime);
        for (const auto& f : files) {
            auto args = [&](std::vector<std::string> tail) {
                std::vector<std::string> all = {"--mode", mode, "--clock", "24", "program"};
                all.insert(all.end(), tail.begin(), tail.end());
                all.push_back(f.file);
                return all;
            };
            const Run fast = Fastest(binary, args({}), chip, sim, f.image, repeats);
            const Run all = Fastest(binary, args({"--all"}), chip, sim, f.image, repeats);
            double before = writeTime == 500 ? 16.5 : 0;
            if (!reference.empty()) {
                before = Fastest(reference, args({}), chip, sim, f.image, repeats).seconds;
            }
            allOk = allOk && fast.ok && all.ok;
            peakKb = std::max({peakKb, fast.maxRssKb, all.maxRssKb});
            const double ratio = before > 0 ? fast.seconds / before : 0;
            // What this change set out to reach.
            std::string target = "-";
            if (std::string(f.name) == "example" && before > 0) {
                target = ratio <= 1.0 / 8 ? "met" : "MISSED";  // at least 8 times faster
            } else if (writeTime == 500 && before > 0) {
                target = ratio <= 0.65 ? "met" : "MISSED";
            } else if (writeTime == 2000 && before > 0) {
                target = ratio <= 1.0 ? "met" : "MISSED";  // no slower than the fixed wait
            }
            char beforeText[16] = "-";
            char ratioText[16] = "-";
            if (before > 0) {
                std::snprintf(beforeText, sizeof beforeText, "%.2f", before);
                std::snprintf(ratioText, sizeof ratioText, "%.3f", ratio);
            }
            std::printf("  %4u us %-8s %10.2f %10.2f %10s %10s %8s\n", writeTime, f.name,
                        fast.seconds, all.seconds, beforeText, ratioText, target.c_str());
        }
    }
    std::printf("\n  peak memory of velmo-cli program (ru_maxrss): %.1f MB\n",
                static_cast<double>(peakKb) / 1024.0);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (!allOk) {
        std::fprintf(stderr, "a program run failed or left another chip than the file\n");
        return 1;
    }
    return 0;
}

// Prints how long velmo-cli takes to program the example program into the simulated chip on
// the real clock at 24 MHz (bit delay 2 us): in full, with --skip-blank, and with
// --changed-only after 16 bytes of the program changed; the speed-up of each fast way over
// the full program; and the peak memory of each run of the program (ru_maxrss from wait4).
// Each run is checked: exit status 0 and the chip file holding the expected image.
//
//   bench_cli [board|raw] [repeats]     default: board 1 (the fastest of the repeats counts)
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

// Runs the program with the simulator on the real clock and the given chip file.
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
        ::setenv("VELMO_SIM_OPTIONS", "clock=real", 1);
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

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "board";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const std::string binary = ProgramDirectory() + "/velmo-cli";
    const std::string example = VELMO_EXAMPLE_HEX;
    if (::access(binary.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "velmo-cli not found beside this program: %s\n", binary.c_str());
        return 1;
    }

    char pattern[] = "/tmp/velmo-bench-cli-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::string chip = dir + "/chip.bin";
    const std::string changedFile = dir + "/changed.bin";

    // The example's image, as velmo-cli reads it, comes back from a full program.
    FlashImage erased;
    ClearImage(erased);
    WriteImage(chip, erased);
    const std::vector<std::string> common = {"--mode", mode, "--clock", "24"};
    auto args = [&common](std::vector<std::string> tail) {
        std::vector<std::string> all = common;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };

    std::printf(
        "velmo-cli on the simulated AT89S53, real clock, %s mode, --clock 24 "
        "(bit delay 2 us), %s, best of %d\n",
        mode.c_str(), example.c_str(), repeats);

    Run full{false, 1e9, 0};
    Run skip{false, 1e9, 0};
    Run changed{false, 1e9, 0};
    long peakKb = 0;
    FlashImage programmed{};
    FlashImage changedImage{};
    bool checked = true;
    for (int r = 0; r < repeats; ++r) {
        WriteImage(chip, erased);
        const Run f = RunCli(binary, args({"program", example}), chip);
        const std::string after = ReadAll(chip);
        if (!f.ok || after.size() != FLASH_SIZE) {
            std::fprintf(stderr, "full program failed\n");
            return 1;
        }
        std::copy(after.begin(), after.end(), programmed.begin());

        WriteImage(chip, erased);
        const Run s = RunCli(binary, args({"program", "--skip-blank", example}), chip);
        checked = checked && s.ok && ReadAll(chip) == after;

        // 16 bytes of the program change; the chip holds the old program.
        changedImage = programmed;
        for (std::size_t i = 0; i < 16; ++i) {
            changedImage[i * 10] = static_cast<std::uint8_t>(changedImage[i * 10] ^ 0x5A);
        }
        WriteImage(changedFile, changedImage);
        WriteImage(chip, programmed);
        const Run c = RunCli(binary, args({"program", "--changed-only", changedFile}), chip);
        checked = checked && c.ok &&
                  ReadAll(chip) == std::string(changedImage.begin(), changedImage.end());

        if (f.seconds < full.seconds) full = f;
        if (s.seconds < skip.seconds) skip = s;
        if (c.seconds < changed.seconds) changed = c;
        peakKb = std::max({peakKb, f.maxRssKb, s.maxRssKb, c.maxRssKb});
    }
    if (!checked) {
        std::fprintf(stderr, "a fast program failed or left another chip than the full one\n");
        return 1;
    }

    const double skipSpeedUp = full.seconds / skip.seconds;
    const double changedSpeedUp = full.seconds / changed.seconds;
    std::printf("  program (full)            %7.2f s\n", full.seconds);
    std::printf("  program --skip-blank      %7.2f s   %5.1fx faster  (target >= 8x: %s)\n",
                skip.seconds, skipSpeedUp, skipSpeedUp >= 8.0 ? "met" : "MISSED");
    std::printf("  program --changed-only    %7.2f s   %5.1fx faster  (target >= 8x: %s)\n",
                changed.seconds, changedSpeedUp, changedSpeedUp >= 8.0 ? "met" : "MISSED");
    std::printf("  peak memory of velmo-cli program (ru_maxrss): %.1f MB  (target < 16 MB: %s)\n",
                static_cast<double>(peakKb) / 1024.0, peakKb < 16 * 1024 ? "met" : "MISSED");

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}

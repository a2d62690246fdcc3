#include "sim/ChipFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace velmo {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

}  // namespace

std::string LoadChipFile(const std::string& path, FlashImage& flash) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (errno != ENOENT) {
            return "Die Chip-Datei " + Quoted(path) + " (VELMO_SIM_CHIP) kann nicht gelesen " +
                   "werden: " + std::strerror(errno) + ".";
        }
        FlashImage erased;
        ClearImage(erased);
        if (std::string error = SaveChipFile(path, erased); !error.empty()) {
            return error;
        }
        flash = erased;
        return {};
    }
    FlashImage content;
    const std::size_t got = std::fread(content.data(), 1, content.size(), file.get());
    if (std::ferror(file.get())) {
        return "Die Chip-Datei " + Quoted(path) + " (VELMO_SIM_CHIP) kann nicht gelesen " +
               "werden: " + std::strerror(errno) + ".";
    }
    const bool longer = got == content.size() && std::fgetc(file.get()) != EOF;
    if (got != content.size() || longer) {
        return "Die Chip-Datei " + Quoted(path) +
               " (VELMO_SIM_CHIP) ist keine Chip-Datei: " + "sie muss genau " +
               std::to_string(FLASH_SIZE) + " Bytes lang sein.";
    }
    flash = content;
    return {};
}

std::string SaveChipFile(const std::string& path, const FlashImage& flash) {
    const std::string temporary = path + ".tmp";
    auto failure = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        std::remove(temporary.c_str());
        return "Die Chip-Datei " + Quoted(path) + " (VELMO_SIM_CHIP) kann nicht " + what +
               " werden: " + reason + ".";
    };
    File file(std::fopen(temporary.c_str(), "wb"));
    if (!file) {
        return failure("geschrieben");
    }
    if (std::fwrite(flash.data(), 1, flash.size(), file.get()) != flash.size() ||
        std::fflush(file.get()) != 0) {
        return failure("geschrieben");
    }
    if (std::fclose(file.release()) != 0) {
        return failure("geschrieben");
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        return failure("geschrieben");
    }
    return {};
}

}  // namespace velmo

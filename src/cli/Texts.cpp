#include "cli/Texts.h"

#include <cctype>
#include <cstdio>

#include "image/Crc16.h"

namespace velmo::cli {

std::string Hex4(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string Hex2(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

std::string Seconds(std::int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ns) / 1e9);
    return text;
}

std::uint16_t CrcOf(const FlashImage& image, std::uint32_t size) {
    CCrc16 crc;
    crc.BuildTable();
    return crc.Compute(image.data(), static_cast<std::uint16_t>(size));
}

std::string SignatureText(const std::array<std::uint8_t, 3>& signature, unsigned count) {
    std::string text;
    for (unsigned i = 0; i < count && i < signature.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%.2X", static_cast<unsigned>(signature[i]));
        text += (i > 0 ? " " : "") + std::string(byte);
    }
    return text;
}

std::string LockList(unsigned bits) {
    std::string list;
    for (unsigned i = 0; i < 3; ++i) {
        if ((bits & (1u << i)) == 0) continue;
        if (!list.empty()) list += ",";
        list += std::to_string(i + 1);
    }
    return list.empty() ? "keine" : list;
}

// "erste Abweichung an Adresse 0x0123: Datei 0x12, Chip 0x34; 5 Bytes weichen ab"
std::string DescribeDifference(const ImageDifference& difference) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "erste Abweichung an Adresse 0x%04X: Datei 0x%02X, Chip 0x%02X; %zu %s ab",
                  static_cast<unsigned>(difference.firstAddress),
                  static_cast<unsigned>(difference.expected),
                  static_cast<unsigned>(difference.actual), difference.count,
                  difference.count == 1 ? "Byte weicht" : "Bytes weichen");
    return text;
}

// ".hex" or ".ihx" at the end, in any case.
bool HasHexExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == "hex" || extension == "ihx";
}

const char* StepLabel(Step step) {
    switch (step) {
        case Step::Erase:
            return "Löschen";
        case Step::Write:
            return "Schreiben";
        case Step::Compare:
            return "Abgleichen";
        case Step::Reread:
            return "Nachlesen";
        case Step::Read:
            return "Lesen";
        case Step::Verify:
            return "Verifizieren";
    }
    return "";
}

}  // namespace velmo::cli

#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/FlashImage.h"
#include "image/ImageCompare.h"
#include "ops/OperationObserver.h"
#include "port/SettingText.h"

// The words and numbers velmo-cli prints.
namespace velmo::cli {

std::string Hex4(std::uint32_t value);  // "0x0123"
std::string Hex2(std::uint8_t value);   // "0x0A"
std::string Seconds(std::int64_t ns);   // "12.3 s"
// CRC-16 of the image's first size bytes (a chip's memory).
std::uint16_t CrcOf(const FlashImage& image, std::uint32_t size = FLASH_SIZE);
// "1E 52 06": the first count bytes of a signature.
std::string SignatureText(const std::array<std::uint8_t, 3>& signature, unsigned count);
// "1,2" for Lock-Bit 1 and 2 in bits 0 and 1; "keine" for none.
std::string LockList(unsigned bits);
// "erste Abweichung an Adresse 0x0123: Datei 0x12, Chip 0x34; 5 Bytes weichen ab"
std::string DescribeDifference(const ImageDifference& difference);
// ".hex" or ".ihx" at the end, in any case.
bool HasHexExtension(const std::string& path);
// The name of a step in the progress lines ("Schreiben").
const char* StepLabel(Step step);

}  // namespace velmo::cli

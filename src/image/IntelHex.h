#pragma once

#include <cstddef>
#include <string>

#include "image/FlashImage.h"

namespace velmo {

// Answers whether the file is to be read as Intel HEX: every line starts with ':' and its
// byte pairs sum to 0 modulo 256. A file that cannot be opened answers true, so that the
// reader reports the failure; an empty file has no line and passes.
bool IsIntelHexFile(const std::string& path);

enum class HexReadResult {
    Ok,
    OpenFailed,
    // A data byte falls at index 12288 or beyond: the file is for a larger chip.
    TooLarge,
};

// Stores the data records (types 00, 02, 04) into image; the caller has cleared it. The
// record checksums are not looked at (IsIntelHexFile has checked them). supplied, when given,
// gets the addresses the records wrote, also where they wrote 0xFF. Unless the result is Ok,
// image and supplied are left exactly as they were.
HexReadResult ReadIntelHex(const std::string& path, FlashImage& image,
                           SuppliedBytes* supplied = nullptr);

// A record whose byte count promises more data than its line holds: the line stops before its
// data does, and its last pair has been taken as the checksum. ReadIntelHex reads the missing
// pairs as 0x00, the way every field cut by the line's end reads.
struct ShortHexRecord {
    std::size_t line = 0;      // 1-based; 0: the file has no such record (or cannot be read)
    std::size_t promised = 0;  // the record's byte count
    std::size_t present = 0;   // data bytes the line holds before its checksum
};
ShortHexRecord FindShortHexRecord(const std::string& path);

}  // namespace velmo

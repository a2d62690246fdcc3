#include "image/IntelHex.h"

#include <cstdint>
#include <vector>

#include "image/InputFile.h"
#include "sys/Numbers.h"

namespace velmo {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr std::size_t kChunkSize = 64 * 1024;

// A data record holds at most 0xFF bytes, so no field of interest to the reader lies at or
// beyond position 9 + 2 * 255. Longer lines are legal; their tail is simply never read.
constexpr std::size_t kReaderLinePrefix = 9 + 2 * 255;

// One field of a line, taken by itself: cut at the line's end, empty when it starts beyond.
// Read exactly as strtol reads it, whatever language the process runs in.
long ReadField(const std::string& line, std::size_t pos, std::size_t length, int base) {
    if (pos >= line.size()) return 0;
    return sys::ParseLong(std::string_view(line).substr(pos, length), base);
}

long PairValue(char first, char second) {
    const char pair[2] = {first, second};
    return sys::ParseLong(std::string_view(pair, 2), 16);
}

enum class ScanResult { Done, Stopped, Failed };

// Splits a file into lines the way a text-mode read does: a line feed ends a line, a
// carriage return directly before it belongs to the line ending, Ctrl-Z ends the file, the
// text after the last line feed is a last line. The sink sees each line character by
// character (Char) and then its end (EndLine), so no line has to fit in memory at once;
// either call returns false to stop the scan.
template <class Sink>
ScanResult ScanLines(const std::string& path, Sink& sink) {
    InputFile file;
    if (!file.Open(path)) return ScanResult::Failed;
    std::vector<char> buffer(kChunkSize);
    bool pendingCr = false;
    bool lineStarted = false;
    bool atEnd = false;
    while (!atEnd) {
        const long got = file.Read(buffer.data(), buffer.size());
        if (got < 0) return ScanResult::Failed;
        atEnd = static_cast<std::size_t>(got) < buffer.size();
        for (long i = 0; i < got; ++i) {
            const char c = buffer[static_cast<std::size_t>(i)];
            if (c == kCtrlZ) {
                atEnd = true;
                break;
            }
            if (c == '\n') {
                pendingCr = false;
                lineStarted = false;
                if (!sink.EndLine()) return ScanResult::Stopped;
                continue;
            }
            lineStarted = true;
            if (pendingCr) {
                pendingCr = false;
                if (!sink.Char('\r')) return ScanResult::Stopped;
            }
            if (c == '\r') {
                pendingCr = true;
                continue;
            }
            if (!sink.Char(c)) return ScanResult::Stopped;
        }
    }
    // A carriage return not followed by a line feed is an ordinary character.
    if (pendingCr && !sink.Char('\r')) return ScanResult::Stopped;
    if (lineStarted && !sink.EndLine()) return ScanResult::Stopped;
    return ScanResult::Done;
}

// Every line must start with ':' and the byte pairs after it (an odd last character left
// out) must sum to 0 modulo 256. Nothing else is checked.
class HexTest {
  public:
    bool Char(char c) {
        if (m_count == 0) {
            if (c != ':') return Fail();
        } else if (m_count % 2 == 1) {
            m_pairFirst = c;
        } else {
            m_sum = static_cast<std::uint8_t>(
                m_sum + static_cast<unsigned long>(PairValue(m_pairFirst, c)));
        }
        ++m_count;
        return true;
    }
    bool EndLine() {
        // An empty line has no ':' and fails.
        if (m_count == 0 || m_sum != 0) return Fail();
        m_count = 0;
        m_sum = 0;
        return true;
    }
    bool Passed() const { return m_passed; }

  private:
    bool Fail() {
        m_passed = false;
        return false;
    }

    std::size_t m_count = 0;
    char m_pairFirst = 0;
    std::uint8_t m_sum = 0;
    bool m_passed = true;
};

// Stores the data records; types 02 and 04 switch storing off and on, every other type is
// ignored and reading goes on to the file's physical end.
class HexReader {
  public:
    HexReader(FlashImage& image, SuppliedBytes& supplied) : m_image(image), m_supplied(supplied) {}

    bool Char(char c) {
        if (m_line.size() < kReaderLinePrefix) m_line.push_back(c);
        return true;
    }
    bool EndLine() {
        const bool goOn = Record();
        m_line.clear();
        return goOn;
    }
    bool TooLarge() const { return m_tooLarge; }

  private:
    bool Record() {
        switch (ReadField(m_line, 7, 2, 10)) {
            case 0:
                return Data();
            case 2:
                m_dataOn = false;
                return true;
            case 4:
                m_upperAddress = static_cast<std::uint32_t>(ReadField(m_line, 9, 4, 16));
                m_dataOn = true;
                return true;
            default:
                return true;
        }
    }

    bool Data() {
        if (!m_dataOn) return true;
        const long count = ReadField(m_line, 1, 2, 16);
        const long address = ReadField(m_line, 3, 4, 16);
        for (long i = 0; i < count; ++i) {
            const std::int64_t index =
                static_cast<std::int64_t>(m_upperAddress) * 65536 + address + i;
            // A byte beyond the flash means the file is for a larger chip: programming only
            // the part that fits would leave a broken program in the chip.
            if (index < 0 || index >= static_cast<std::int64_t>(FLASH_SIZE)) {
                m_tooLarge = true;
                return false;
            }
            const long value = ReadField(m_line, 9 + 2 * static_cast<std::size_t>(i), 2, 16);
            m_image[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);
            m_supplied.set(static_cast<std::size_t>(index));
        }
        return true;
    }

    FlashImage& m_image;
    SuppliedBytes& m_supplied;
    std::string m_line;
    std::uint32_t m_upperAddress = 0;
    bool m_dataOn = true;
    bool m_tooLarge = false;
};

// Compares each record's byte count with the pairs its line holds between the record type and
// the checksum.
class ShortRecordSearch {
  public:
    bool Char(char c) {
        if (m_length < 3) m_count[m_length] = c;
        ++m_length;
        return true;
    }
    bool EndLine() {
        ++m_line;
        const long promised = m_length >= 3 ? PairValue(m_count[1], m_count[2]) : 0;
        const std::size_t present = m_length >= 11 ? (m_length - 11) / 2 : 0;
        m_length = 0;
        if (promised > 0 && static_cast<std::size_t>(promised) > present) {
            m_found = {m_line, static_cast<std::size_t>(promised), present};
            return false;
        }
        return true;
    }
    const ShortHexRecord& Found() const { return m_found; }

  private:
    char m_count[3] = {};
    std::size_t m_length = 0;
    std::size_t m_line = 0;
    ShortHexRecord m_found;
};

}  // namespace

bool IsIntelHexFile(const std::string& path) {
    HexTest test;
    // A file that cannot be read passes, so that the reader meets the failure and the load
    // reports it.
    if (ScanLines(path, test) == ScanResult::Failed) return true;
    return test.Passed();
}

HexReadResult ReadIntelHex(const std::string& path, FlashImage& image, SuppliedBytes* supplied) {
    // Work on copies so that a refused or unreadable file leaves the caller's image as it was.
    FlashImage filled = image;
    SuppliedBytes stored;
    HexReader reader(filled, stored);
    if (ScanLines(path, reader) == ScanResult::Failed) return HexReadResult::OpenFailed;
    if (reader.TooLarge()) return HexReadResult::TooLarge;
    image = filled;
    if (supplied) *supplied = stored;
    return HexReadResult::Ok;
}

}  // namespace velmo

namespace velmo {

ShortHexRecord FindShortHexRecord(const std::string& path) {
    ShortRecordSearch search;
    ScanLines(path, search);
    return search.Found();
}

}  // namespace velmo

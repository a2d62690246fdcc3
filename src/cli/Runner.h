#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backends/PortFactory.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "image/FlashImage.h"
#include "image/ImageFiles.h"
#include "isp/Chips.h"
#include "ops/ChipSession.h"
#include "timing/Clock.h"

namespace velmo::cli {

// One call of velmo-cli, from its parsed options to its exit status. CliRunner.cpp holds the
// call's frame (files, link, report, failures), DeviceCommands.cpp what it does with the chips.
class Runner {
  public:
    Runner(const CliOptions& options, CliContext& context)
        : m_options(options), m_context(context) {}
    int Run();

  private:
    int Fail(int status, const std::string& reason);
    int Usage(const std::string& reason) { return Fail(kExitUsage, reason); }
    // The input file, refused in German when it cannot be used at all.
    bool LoadFile(LoadedImage& loaded, int& status);
    // The line ends before the data its record announces: the missing bytes would be made up.
    bool NoShortRecord(int& status);
    // The name promises Intel HEX but the content fails the HEX test, so it would be read as
    // raw bytes: almost surely a damaged HEX file rather than a binary one.
    bool HexNameButBinary(const LoadedImage& loaded) const;
    int Info();
    // The input file of program and verify, refused before the chip is touched.
    bool LoadInput(LoadedImage& source, int& status);
    int DeviceCommand();
    // Written whatever the run came to, once it has reached the chips: a production script
    // reads every socket's result from it.
    int WriteReport(int status);
    // A file that supplies bytes beyond the chip's memory cannot go into it.
    bool FitsChip(const LoadedImage& source, const ChipDescription& chip, int& status);
    // "der Flash des AT89S52", "das EEPROM des AT89S8253"
    std::string MemoryName(const ChipDescription& chip) const;
    // "alle 12288 Bytes", "alle 2048 Bytes des EEPROM"
    static std::string AllBytes(const ChipSession& session);
    // Which chip sits in the sockets, and whether the call can run on it: the status to end
    // with, or nothing to go on (a gang with the sockets that hold the chip).
    std::optional<int> Identify(ChipSession& session, const LoadedImage& source);
    // An AT89S8252 answers as an AT89S53 does, and where the AT89S53's flash goes on above
    // 0x1FFF, its EEPROM answers. Without an erase, a cell there that is not blank may be the
    // EEPROM's; writing the image's 0xFF over it would lose it. False when such a cell is
    // there and the file supplies nothing above 0x1FFF.
    bool SparesAnEeprom(ChipSession& session, const LoadedImage& source);
    int RunOnLink(LinkSetup& setup, Command command, const LoadedImage& source);
    int RunCommand(ChipSession& session, Command command, const LoadedImage& source, Clock& clock,
                   std::int64_t startNs);
    int LinkLost(ChipSession& session);
    int Report(const StepResult& result, ChipSession& session);
    // Named chip and socket disagree: what the socket said it is, and what to do.
    int WrongChip(const ChipSession& session, const SocketResult& socket);
    int Erase(ChipSession& session);
    int Program(ChipSession& session, const LoadedImage& source, Clock& clock,
                std::int64_t startNs);
    int Verify(ChipSession& session, const LoadedImage& source);
    int Read(ChipSession& session);
    int Lock(ChipSession& session);
    // Every socket at once: one line per socket at the end, on standard output when all of
    // them succeeded, on standard error with status 1 when any failed.
    int Gang(ChipSession& session, Command command, const LoadedImage& source);
    int GangResults(ChipSession& session, Command command, const std::vector<FlashImage>& seen);
    // Saves what was read from a chip, as Intel HEX where the name says so; a German reason
    // when that failed.
    std::string SaveRead(const std::string& path, const FlashImage& chip, std::uint32_t size);

    const CliOptions& m_options;
    CliContext& m_context;
    std::string m_lastReason;             // the last failure said, for the report
    std::vector<SocketResult> m_sockets;  // what each socket came to
};

}  // namespace velmo::cli

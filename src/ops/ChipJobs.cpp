#include "ops/ChipJobs.h"

namespace velmo {

namespace {

void Erased(ChipSession& session, std::vector<FlashImage>& images) {
    FlashImage erased;
    ClearImage(erased);
    images.assign(session.Sockets(), erased);
}

}  // namespace

StepResult EraseChips(ChipSession& session) {
    const StepResult erased = session.Erase();
    if (!erased.ok()) return erased;
    return session.CheckErased();
}

ProgramResult ProgramChips(ChipSession& session, const FlashImage& image, ProgramStrategy strategy,
                           std::vector<FlashImage>& seen) {
    Erased(session, seen);
    ProgramResult result;
    const bool eeprom = session.Memory() == ChipMemory::Eeprom;
    // A page of the EEPROM costs one write cycle, as a single byte does: every page is written.
    if (eeprom && strategy == ProgramStrategy::SkipBlank && session.Chip().eepromPage > 0) {
        strategy = ProgramStrategy::All;
    }
    if (strategy == ProgramStrategy::ChangedOnly ||
        (eeprom && strategy == ProgramStrategy::SkipBlank)) {
        std::vector<std::uint16_t> changed;
        result.step = session.WriteChanged(image, seen, changed);
        if (!result.step.ok()) return result;
        // Every cell was read in the pass above; the written ones are read once more now that
        // all writes are done, so every byte compared below is the chip's own answer after its
        // last write.
        result.step = session.Reread(changed, seen);
        result.written = changed.size();
    } else {
        if (!eeprom) result.step = EraseChips(session);
        if (!result.step.ok()) return result;
        result.step =
            session.Write(image, strategy == ProgramStrategy::All ? WriteSelection::All
                                                                  : WriteSelection::SkipBlank);
        if (!result.step.ok()) return result;
        result.written = result.step.written;
        result.step = session.Read(Step::Verify, seen);
    }
    if (result.step.ok()) session.CheckImages(image, seen);
    return result;
}

StepResult VerifyChips(ChipSession& session, const FlashImage& image,
                       std::vector<FlashImage>& seen) {
    Erased(session, seen);
    ImageDifference first;
    return session.Verify(image, seen, first);
}

StepResult ReadChips(ChipSession& session, std::vector<FlashImage>& out) {
    Erased(session, out);
    return session.Read(Step::Read, out);
}

StepResult LockChips(ChipSession& session, const LockBitChoice& bits) {
    session.WriteLockBits(bits);
    if (!session.Chip().lockBitsReadable) return {};
    const auto mask = [](const LockBitChoice& choice) {
        return static_cast<std::uint8_t>((choice[0] ? 1 : 0) | (choice[1] ? 2 : 0) |
                                         (choice[2] ? 4 : 0));
    };
    const std::array<LockBitChoice, kMaxSockets> read = session.ReadLockBits();
    for (unsigned s = 0; s < session.Sockets(); ++s) {
        if (!session.Live(s) || (mask(read[s]) & mask(bits)) == mask(bits)) continue;
        SocketResult failed;
        failed.fault = SocketFault::LockFailed;
        failed.wanted = mask(bits);
        failed.readBack = mask(read[s]);
        session.DropSocket(s, failed);
    }
    StepResult result;
    if (session.LiveSockets() == 0) result.outcome = StepOutcome::NoChip;
    return result;
}

}  // namespace velmo

#include "ops/ChipIdentity.h"

#include <algorithm>

namespace velmo {

namespace {

using SignatureReads = std::array<SocketBytes, 3>;

std::array<std::uint8_t, 3> SignatureOf(const SignatureReads& reads, unsigned socket) {
    return {reads[0][socket], reads[1][socket], reads[2][socket]};
}

bool Matches(const ChipDescription& chip, const std::array<std::uint8_t, 3>& signature) {
    return chip.signatureBytes > 0 &&
           std::equal(chip.signature.begin(), chip.signature.begin() + chip.signatureBytes,
                      signature.begin());
}

// The first live socket that gives this chip's signature, if any.
std::optional<unsigned> FirstMatching(const ChipSession& session, const ChipDescription& chip,
                                      const SignatureReads& reads) {
    for (unsigned s = 0; s < session.Sockets(); ++s) {
        if (session.Live(s) && Matches(chip, SignatureOf(reads, s))) return s;
    }
    return std::nullopt;
}

// Every live socket must answer as chip. An AT89S51/52 whose lock bits hide its signature
// still answers Programming Enable: it stays.
void DropOthers(ChipSession& session, const ChipDescription& chip, const SignatureReads& reads) {
    for (unsigned s = 0; s < session.Sockets(); ++s) {
        const std::array<std::uint8_t, 3> signature = SignatureOf(reads, s);
        if (!session.Live(s) || Matches(chip, signature)) continue;
        const bool enabled = chip.enableAnswers && session.EnableAnswer()[s] == kEnableAnswer;
        if (enabled && !ChipBySignature(signature)) continue;
        const bool silent = session.EnableAnswer()[s] == 0x00 &&
                            std::all_of(signature.begin(), signature.end(),
                                        [](std::uint8_t b) { return b == 0x00; });
        SocketResult failed;
        failed.fault = silent ? SocketFault::NoChip : SocketFault::WrongChip;
        failed.signature = signature;
        failed.signatureBytes = chip.signatureBytes;
        session.DropSocket(s, failed);
    }
}

Identification Checked(ChipSession& session, const ChipDescription& chip,
                       const SignatureReads& reads) {
    Identification identification;
    const std::optional<unsigned> first = FirstMatching(session, chip, reads);
    identification.bySignature = first.has_value();
    identification.signature = SignatureOf(reads, first.value_or(0));
    DropOthers(session, chip, reads);
    if (session.LiveSockets() == 0) identification.step.outcome = StepOutcome::NoChip;
    return identification;
}

}  // namespace

std::optional<ChipKind> ChipBySignature(const std::array<std::uint8_t, 3>& signature) {
    for (const ChipDescription& chip : chip::All()) {
        if (Matches(chip, signature)) return chip.kind;
    }
    return std::nullopt;
}

const ChipDescription& ChipToOpenWith(std::optional<ChipKind> named) {
    return chip::Describe(named.value_or(ChipKind::At89s51));
}

Identification IdentifyChips(ChipSession& session, std::optional<ChipKind> named) {
    if (named) {
        const ChipDescription& chip = chip::Describe(*named);
        // Opened with another chip's Programming Enable: the named one's goes out afresh.
        if (&session.Chip() != &chip) {
            session.SetChip(chip);
            session.Restart();
        }
        if (chip.signatureBytes == 0) return {};
        return Checked(session, chip, session.ReadSignature());
    }

    // Opened as an AT89S51: an AT89S51 or AT89S52 answers its Programming Enable with 0x69.
    session.SetChip(chip::Describe(ChipKind::At89s51));
    bool answered = false;
    for (unsigned s = 0; s < session.Sockets(); ++s) {
        answered = answered || (session.Live(s) && session.EnableAnswer()[s] == kEnableAnswer);
    }
    if (answered) {
        // The first socket that names its chip decides which one the run works with.
        const SignatureReads reads = session.ReadSignature();
        for (unsigned s = 0; s < session.Sockets(); ++s) {
            const std::optional<ChipKind> kind = ChipBySignature(SignatureOf(reads, s));
            if (!session.Live(s) || !kind || chip::Describe(*kind).instructionBytes != 4 ||
                chip::Describe(*kind).mode != SpiMode::Mode0) {
                continue;
            }
            session.SetChip(chip::Describe(*kind));
            return Checked(session, session.Chip(), reads);
        }
        Identification hidden;
        hidden.signatureHidden = true;
        return hidden;
    }

    // The AT89S8253 answers nothing to Programming Enable and talks in SPI mode 1.
    const ChipDescription& s8253 = chip::Describe(ChipKind::At89s8253);
    session.SetChip(s8253);
    session.Restart();
    const SignatureReads reads = session.ReadSignature();
    if (FirstMatching(session, s8253, reads)) return Checked(session, s8253, reads);

    // No signature at all: the three-byte chips have none to read.
    session.SetChip(chip::Describe(ChipKind::At89s53));
    session.Restart();
    return {};
}

}  // namespace velmo

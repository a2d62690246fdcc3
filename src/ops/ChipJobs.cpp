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
    if (strategy == ProgramStrategy::ChangedOnly) {
        std::vector<std::uint16_t> changed;
        result.step = session.WriteChanged(image, seen, changed);
        if (!result.step.ok()) return result;
        // Every cell was read in the pass above; the written ones are read once more now that
        // all writes are done, so every byte compared below is the chip's own answer after its
        // last write.
        result.step = session.Reread(changed, seen);
        result.written = changed.size();
    } else {
        result.step = EraseChips(session);
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

}  // namespace velmo

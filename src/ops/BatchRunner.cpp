#include "ops/BatchRunner.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "image/ImageFiles.h"
#include "ops/Wording.h"
#include "sys/FileSearch.h"

namespace velmo {

namespace {
constexpr auto kDelaySlice = std::chrono::milliseconds(10);
}  // namespace

BatchRunner::BatchRunner(IspLink& link, Clock& clock, SideFiles* files, std::string program,
                         LineSink out, const volatile std::sig_atomic_t* stop)
    : m_core(link, clock, *this),
      m_files(files),
      m_program(std::move(program)),
      m_out(std::move(out)),
      m_stop(stop) {}

int BatchRunner::Run(const CommandLineSettings& settings) {
    m_core.SelectMode(settings.mode);
    m_core.SetPortAddress(settings.portAddress);
    m_core.SetClockRate(settings.clockRate);
    int status = Work(settings.batch);
    // What could not be written into the line trace or the simulated chip fails a run that
    // otherwise succeeded: for its user the file is the result.
    if (FilesLost() && status == 0) status = 1;
    return status;
}

int BatchRunner::Work(const BatchJob& job) {
    // Until the file is programmed, the end of the program is no success, however it comes.
    if (job.action == "1" && !job.filePath.empty()) m_unfinishedStatus = 1;
    if (!m_core.StartDriver()) {
        Status(std::string(kDriverFailed) + m_core.DriverMessage());
        return 1;
    }
    Status(kDriverStarted);
    m_core.m_errorFlag = 0;
    m_core.m_noFileLoaded = 1;

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_startDelayMs);
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        if (m_pump) m_pump();
        if (m_stop && *m_stop != 0) {
            Status(ProgrammerStatus::Aborted);
            return 1;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kDelaySlice, end - now));
    }

    if (job.filePath.empty()) return 0;
    if (!sys::PathFound(job.filePath)) {
        Message(kFileNotFound);
        return 1;
    }
    LoadFile(job.filePath);
    if (job.action != "1") return 0;
    const bool programmed = m_core.Program() == ProgramOutcome::Programmed;
    FilesLost();
    if (programmed) m_unfinishedStatus = 0;
    return programmed ? 0 : 1;
}

void BatchRunner::LoadFile(const std::string& path) {
    m_core.m_noFileLoaded = 1;
    LoadedImage loaded;
    // The running line trace is no image: it grows while it is read.
    if (m_files && m_files->Writes(path)) {
        loaded.error = LoadError::CannotOpen;
        ClearImage(loaded.image);
    } else {
        loaded = LoadImageFile(path);
    }
    // A failed load leaves the image erased, so nothing of an earlier file is programmed.
    m_core.m_image = loaded.image;
    if (loaded.error == LoadError::CannotOpen) {
        Status(kOpenFailed);
    } else if (loaded.format == ImageFormat::Binary) {
        Status(kOpened);
    }
    if (loaded.error == LoadError::TooLarge) Message(kTooLarge);
    if (!loaded.Loaded()) return;
    m_core.m_imageCrc = loaded.crc;
    m_core.m_noFileLoaded = 0;
}

int BatchRunner::Close() {
    m_core.ShutdownDriver();
    return m_unfinishedStatus;
}

void BatchRunner::Message(const std::string& text) {
    m_out(m_program + ": " + text);
}

bool BatchRunner::FilesLost() {
    const std::string lost = m_files ? m_files->Finish() : std::string();
    if (!lost.empty() && lost != m_reportedFileError) Message(lost);
    m_reportedFileError = lost;
    return !lost.empty();
}

void BatchRunner::Status(ProgrammerStatus status) {
    Status(std::string(StatusWording(status)));
}

void BatchRunner::Status(const std::string& text) {
    m_out("Status: " + text);
}

void BatchRunner::Notice(ProgrammerNotice notice) {
    Message(NoticeWording(notice));
}

void BatchRunner::ProgressAt(std::uint32_t address) {
    m_out("Fortschritt: " + std::to_string(address) + " von " + std::to_string(m_progressTotal) +
          " Bytes");
}

void BatchRunner::Pump() {
    if (m_pump) m_pump();
    // A stop asked for from outside ends the running step as the window's Abort does; asked
    // again at every byte, since an operation starting its next step clears the request.
    if (m_stop && *m_stop != 0 && !m_core.AbortRequested()) m_core.Abort();
}

}  // namespace velmo

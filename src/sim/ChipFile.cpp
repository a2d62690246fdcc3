#include "sim/ChipFile.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "sys/Signals.h"

namespace velmo {

namespace {

constexpr auto kLockPoll = std::chrono::milliseconds(50);
// The flash is compared in pieces of this size, so that an unchanged piece costs one memcmp.
constexpr std::size_t kPiece = 64;
static_assert(FLASH_SIZE % kPiece == 0);

std::string Named(const std::string& path) {
    return "Die Chip-Datei \"" + path + "\" (VELMO_SIM_CHIP)";
}

std::string CannotRead(const std::string& path, const std::string& reason) {
    return Named(path) + " kann nicht gelesen werden: " + reason + ".";
}

std::string CannotWrite(const std::string& path, const std::string& reason) {
    return Named(path) + " kann nicht geschrieben werden: " + reason + ".";
}

// Exactly FLASH_SIZE bytes from the start of the open file.
std::string ReadChipFile(sys::FileHandle& file, const std::string& path, FlashImage& flash) {
    char content[FLASH_SIZE + 1];
    std::size_t got = 0;
    if (const sys::ErrorCode error = sys::ReadAt(file, 0, content, sizeof content, got)) {
        return CannotRead(path, sys::ErrorText(error));
    }
    if (got != FLASH_SIZE) {
        return Named(path) + " ist keine Chip-Datei: sie muss genau " + std::to_string(FLASH_SIZE) +
               " Bytes lang sein.";
    }
    std::memcpy(flash.data(), content, FLASH_SIZE);
    return {};
}

}  // namespace

std::string LoadChipFile(const std::string& path, FlashImage& flash) {
    sys::UpdateResult opened = sys::OpenFileForUpdate(path);
    if (opened.notRegular) return CannotRead(path, "sie ist keine gewöhnliche Datei");
    if (!opened.file.Valid()) {
        if (opened.error != sys::kNoSuchFile) return CannotRead(path, sys::ErrorText(opened.error));
        ClearImage(flash);
        return {};
    }
    return ReadChipFile(opened.file, path, flash);
}

std::string SaveChipFile(const std::string& path, const FlashImage& flash, ChipFileLock* lock) {
    if (lock && lock->Held()) return lock->WriteThrough(flash);
    ChipFileLock own;
    FlashImage current;
    if (std::string error = own.Acquire(path, 0, {}, current); !error.empty()) return error;
    return own.WriteThrough(flash);
}

std::string ChipFileLock::Acquire(const std::string& path, unsigned waitSeconds,
                                  const std::function<void(const std::string&)>& notice,
                                  FlashImage& flash) {
    Release();
    m_path = path;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    bool told = false;
    while (true) {
        const sys::LockAttempt attempt = m_lock.TryAcquire(path);
        if (attempt.outcome == sys::LockOutcome::Taken) {
            std::string error = Open(flash);
            if (!error.empty()) Release();
            return error;
        }
        if (attempt.outcome == sys::LockOutcome::Failed) {
            return CannotWrite(path, sys::ErrorText(attempt.error));
        }
        if (const int signal = sys::StopSignal(); signal != 0) {
            return "Das Warten auf die Chip-Datei \"" + path +
                   "\" (VELMO_SIM_CHIP) wurde abgebrochen (Signal " + std::to_string(signal) + ").";
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Named(path) + " wird von einem anderen Lauf benutzt; nach " +
                   std::to_string(waitSeconds) + " s Warten aufgegeben.";
        }
        if (!told && notice) {
            notice(Named(path) + " wird von einem anderen Lauf benutzt; warte bis zu " +
                   std::to_string(waitSeconds) + " s darauf.");
        }
        told = true;
        std::this_thread::sleep_for(kLockPoll);
    }
}

std::string ChipFileLock::Open(FlashImage& flash) {
    sys::UpdateResult opened = sys::OpenFileForUpdate(m_path);
    if (opened.notRegular) return CannotRead(m_path, "sie ist keine gewöhnliche Datei");
    if (opened.file.Valid()) {
        if (std::string error = ReadChipFile(opened.file, m_path, m_stored); !error.empty()) {
            return error;
        }
        m_file = std::move(opened.file);
        m_writable = opened.writable;
    } else if (opened.error != sys::kNoSuchFile) {
        return CannotRead(m_path, sys::ErrorText(opened.error));
    } else {
        // Made under the lock, so two runs that start together never make one each. Through a
        // link that names no file yet, the file it names is made.
        sys::OpenResult created = sys::CreateNewFile(sys::CreationTarget(m_path));
        if (!created.ok()) return CannotWrite(m_path, sys::ErrorText(created.error));
        ClearImage(m_stored);
        if (const sys::ErrorCode error =
                sys::WriteAt(created.file, 0, m_stored.data(), m_stored.size())) {
            return CannotWrite(m_path, sys::ErrorText(error));
        }
        m_file = std::move(created.file);
        m_writable = true;
    }
    m_id = sys::InspectOpen(m_file).id;
    flash = m_stored;
    return {};
}

void ChipFileLock::Release() {
    m_file.Close();
    m_lock.Release();
}

std::string ChipFileLock::WriteThrough(const FlashImage& flash) {
    if (!Held()) return {};
    // Whatever stands at the name now is not the file this run locked and read: the run's
    // chip is gone, and the new file is not ours to write.
    const sys::FileInfo now = sys::Inspect(m_path);
    if (now.kind == sys::FileKind::Missing || !(now.id == m_id)) {
        return CannotWrite(m_path, "sie wurde während des Laufs ersetzt oder entfernt");
    }
    bool changed = false;
    for (std::size_t piece = 0; piece < FLASH_SIZE && !changed; piece += kPiece) {
        changed = std::memcmp(flash.data() + piece, m_stored.data() + piece, kPiece) != 0;
    }
    if (!changed) return {};
    if (!m_writable) return CannotWrite(m_path, sys::ErrorText(sys::kAccessDenied));
    for (std::size_t piece = 0; piece < FLASH_SIZE; piece += kPiece) {
        if (std::memcmp(flash.data() + piece, m_stored.data() + piece, kPiece) == 0) continue;
        std::size_t first = piece;
        while (flash[first] == m_stored[first]) ++first;
        std::size_t end = piece + kPiece;
        while (flash[end - 1] == m_stored[end - 1]) --end;
        if (const sys::ErrorCode error =
                sys::WriteAt(m_file, first, flash.data() + first, end - first)) {
            return CannotWrite(m_path, sys::ErrorText(error));
        }
        std::memcpy(m_stored.data() + first, flash.data() + first, end - first);
    }
    return {};
}

}  // namespace velmo

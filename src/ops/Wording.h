#pragma once

#include "ops/OperationObserver.h"

// The window's German words for what its operations and its batch call report, shared by the
// window and by the batch call without a window, so both say exactly the same.
namespace velmo {

// The status line's text for a status, and the box's text for a notice.
const char* StatusWording(ProgrammerStatus status);
const char* NoticeWording(ProgrammerNotice notice);

inline constexpr char kDriverStarted[] = "DriverLinx I/O erfolgreich gestartet!";
// The driver's own message follows directly.
inline constexpr char kDriverFailed[] = "Fehler beim Starten von DriverLinx I/O! ";
inline constexpr char kFileNotFound[] = "Datei nicht gefunden!";
inline constexpr char kOpenFailed[] = "Fehler beim Öffnen der Datei!";
inline constexpr char kOpened[] = "Datei erfolgreich geöffnet!";
inline constexpr char kTooLarge[] = "Datei ist größer als Flash-Speicher des Controllers!";

}  // namespace velmo

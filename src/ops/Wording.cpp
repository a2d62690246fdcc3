#include "ops/Wording.h"

namespace velmo {

const char* StatusWording(ProgrammerStatus status) {
    switch (status) {
        case ProgrammerStatus::BoardFailed:
            return "Fehler beim Initialisieren des Velmo-Boards";
        case ProgrammerStatus::Aborted:
            return "Aktion abgebrochen";
        case ProgrammerStatus::Erasing:
            return "Lösche Flash..";
        case ProgrammerStatus::Erased:
            return "Flash gelöscht";
        case ProgrammerStatus::Programming:
            return "Programmieren des Controllers...";
        case ProgrammerStatus::Programmed:
            return "Datei erfolgreich programmiert!";
        case ProgrammerStatus::ProgramFailed:
            return "Fehler beim Programmieren!";
        case ProgrammerStatus::Verifying:
            return "Verifiziere geladene Datei mit Speicherinhalt...";
        case ProgrammerStatus::Verified:
            return "Verifizierung beendet!";
        case ProgrammerStatus::Reading:
            return "Lese Speicherinhalt aus...";
        case ProgrammerStatus::ReadDone:
            return "Speicherinhalt ausgelesen!";
        case ProgrammerStatus::WritingLockBits:
            return "Schreibe Lock-Bits";
        case ProgrammerStatus::LockBitsWritten:
            return "Lock-Bits geschrieben";
    }
    return "";
}

const char* NoticeWording(ProgrammerNotice notice) {
    switch (notice) {
        case ProgrammerNotice::BoardFailed:
            return "Fehler beim Initialisieren des Velmo-Boards";
        case ProgrammerNotice::NoImage:
            return "Bitte wählen Sie zuerst eine Datei aus!";
        case ProgrammerNotice::ProgramFailed:
            return "Fehler beim Programmieren!";
        case ProgrammerNotice::ImagesMatch:
            return "Geladene Datei und Speicherinhalt stimmen überein!";
        case ProgrammerNotice::ImagesDiffer:
            return "Geladene Datei und Speicherinhalt stimmen nicht überein!";
    }
    return "";
}

}  // namespace velmo

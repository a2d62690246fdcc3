#include "app/PlatformFallback.h"

#include <QByteArray>
#include <QString>
#include <cstdlib>
#include <cstring>

namespace {

QtMessageHandler g_previous = nullptr;

// Only the platform plugins' notes about the display they could not reach are dropped; a
// fatal message always goes out.
void DropPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const bool platformNote =
        type != QtFatalMsg && context.category && std::strncmp(context.category, "qt.qpa.", 7) == 0;
    if (platformNote) return;
    if (g_previous) g_previous(type, context, text);
}

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

PlatformFallback::PlatformFallback() {
    if (Set("QT_QPA_PLATFORM")) return;
    // The order Qt itself would take: Wayland first only in a Wayland session.
    const bool wayland = Set("WAYLAND_DISPLAY");
    const bool x11 = Set("DISPLAY");
    if (!wayland && !x11) return;
    const QByteArray session = qgetenv("XDG_SESSION_TYPE");
    QByteArray platforms;
    if (wayland && (session == "wayland" || !x11)) platforms += "wayland;";
    if (x11) platforms += "xcb;";
    if (wayland && !platforms.startsWith("wayland")) platforms += "wayland;";
    platforms += "offscreen";
    ::setenv("QT_QPA_PLATFORM", platforms.constData(), 1);
    m_active = true;
    g_previous = qInstallMessageHandler(DropPlatformNotes);
    m_previous = g_previous;
}

void PlatformFallback::Done() {
    if (!m_active || m_done) return;
    m_done = true;
    ::unsetenv("QT_QPA_PLATFORM");
    qInstallMessageHandler(m_previous);
    g_previous = nullptr;
}

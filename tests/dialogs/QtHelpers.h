#pragma once

#include <QApplication>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

// Draws a widget as it appears on screen.
inline QImage Snapshot(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline int CountColour(const QImage& image, const QColor& colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y).rgb() == colour.rgb();
        }
    }
    return count;
}

// Runs `inspect` on the modal dialog that the next call opens, which then has to close it.
inline void OnNextModal(std::function<void(QWidget*)> inspect) {
    QMetaObject::invokeMethod(
        qApp, [inspect = std::move(inspect)] { inspect(QApplication::activeModalWidget()); },
        Qt::QueuedConnection);
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (m_had) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

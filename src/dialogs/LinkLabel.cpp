#include "dialogs/LinkLabel.h"

#include "hyperlink/LinkOpening.h"
#include "hyperlink/OpenerProcess.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>

namespace {

// The desktop's mime lookup answers at once; a hung one must not freeze the dialog for long.
constexpr int kMimeQueryTimeoutMs = 3000;
// The click waits for the opener's answer as long as this, blocking the dialog as any call
// into the desktop would; an opener that takes longer has started what it opens.
constexpr int kOpenerWaitMs = 3000;

std::string LocalString(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

}  // namespace

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
}

CLinkLabel::~CLinkLabel() = default;

void CLinkLabel::Attach() {
    if (m_target.isEmpty()) {
        m_target = text();
    }
    if (text().isEmpty()) {
        setText(m_target);
    }
    FitWindowToText();
    SetLinkCursor(QCursor(Qt::ArrowCursor));
    setToolTip(m_target);
}

void CLinkLabel::SetLinkTarget(QString target) {
    m_target = std::move(target);
    FitWindowToText();
    setToolTip(m_target);
}

void CLinkLabel::MarkVisited(bool visited) {
    m_visited = visited;
    update();
}

void CLinkLabel::SetLinkCursor(const QCursor& cursor) {
    m_linkCursor = cursor;
    setCursor(m_linkCursor);
}

void CLinkLabel::FitWindowToText() {
    if (!m_fitToText) {
        return;
    }
    const QRect g = geometry();
    const velmo::EdgeRect window{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    const QFontMetrics metrics(font());
    const Qt::Alignment align = alignment();
    velmo::HorizontalFit horizontal = velmo::HorizontalFit::Left;
    if (align.testFlag(Qt::AlignHCenter)) {
        horizontal = velmo::HorizontalFit::Centre;
    } else if (align.testFlag(Qt::AlignRight)) {
        horizontal = velmo::HorizontalFit::Right;
    }
    const velmo::EdgeRect fitted =
        velmo::FitRectToText(window, metrics.horizontalAdvance(text()), metrics.height(),
                             horizontal, align.testFlag(Qt::AlignVCenter));
    // setGeometry leaves the visibility alone: a hidden label stays hidden.
    setGeometry(fitted.left, fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top);
}

QString CLinkLabel::HtmlOpenCommand() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!query.waitForFinished(kMimeQueryTimeoutMs) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0) {
        query.kill();
        query.waitForFinished(kMimeQueryTimeoutMs);
        return QString();
    }
    const QString desktopId = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    const auto places = velmo::DesktopFilePlaces(
        LocalString(desktopId), qEnvironmentVariable("XDG_DATA_HOME").toStdString(),
        qEnvironmentVariable("HOME").toStdString(),
        qEnvironmentVariable("XDG_DATA_DIRS").toStdString());
    for (const auto& place : places) {
        QFile file(QString::fromLocal8Bit(place.c_str()));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray content = file.readAll();
        const auto exec = velmo::DesktopEntryExec(
            std::string_view(content.constData(), static_cast<std::size_t>(content.size())));
        return exec ? QString::fromUtf8(exec->c_str()) : QString();
    }
    return QString();
}

int CLinkLabel::OpenTarget(const QString& target) {
    // The desktop's opener itself, not through the toolkit: only its exit status tells
    // whether anything took the target. An opener still busy after the wait has started
    // something (a browser in the foreground, say) and counts as success.
    const velmo::OpenerOutcome opened =
        velmo::RunOpener({"xdg-open", LocalString(target)}, kOpenerWaitMs);
    if (opened.state == velmo::OpenerState::Succeeded ||
        opened.state == velmo::OpenerState::StillRunning) {
        return velmo::kOpenSucceeded;
    }
    // A web browser usually opens mailto: and web addresses alike, so try the one
    // registered for HTML pages.
    const int desktopResult = opened.state == velmo::OpenerState::Failed
                                  ? velmo::OpenCodeForOpenerStatus(opened.exitStatus)
                                  : velmo::kOpenNoAssociation;
    const QString registered = HtmlOpenCommand();
    if (registered.isEmpty()) {
        return desktopResult;
    }
    const auto words = velmo::SplitCommandLine(
        velmo::FallbackCommandLine(registered.toStdString(), target.toStdString()));
    if (words.empty()) {
        return desktopResult;
    }
    QStringList arguments;
    for (std::size_t i = 1; i < words.size(); ++i) {
        arguments << QString::fromStdString(words[i]);
    }
    return QProcess::startDetached(QString::fromStdString(words.front()), arguments)
               ? velmo::kOpenSucceeded
               : velmo::kOpenFileNotFound;
}

void CLinkLabel::ShowOpenError(int code) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                    QString::fromStdString(velmo::OpenErrorMessage(code)), QMessageBox::Ok,
                    window());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void CLinkLabel::OnClicked() {
    const int code = OpenTarget(m_target);
    m_visited = code > 32;
    if (m_visited) {
        MarkVisited(true);
    } else {
        // The colour goes back to unvisited only with the next paint.
        QApplication::beep();
        ShowOpenError(code);
    }
}

void CLinkLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (m_underline) {
        if (!m_underlineFont) {
            QFont underlined = font();
            underlined.setUnderline(true);
            // Every property counts as set, so the painter does not fill them in from the
            // label's font of the moment: the copy stays as it was made.
            underlined.setResolveMask(QFont::AllPropertiesResolved);
            m_underlineFont = underlined;
        }
        painter.setFont(*m_underlineFont);
    }
    painter.setPen(TextColour());
    // No background of its own: the dialog shows through.
    painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void CLinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        OnClicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

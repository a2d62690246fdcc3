#include "ui/MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>
#include <utility>

namespace velmo::ui {
namespace {
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}
}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
    return std::exchange(Sink(), std::move(sink));
}

QString ApplicationCaption() {
    return QCoreApplication::applicationName();
}

void ShowMessageBox(QWidget* owner, const QString& text, BoxIcon icon) {
    if (Sink()) {
        Sink()(ApplicationCaption(), text, icon, BoxKind::Message);
        return;
    }
    QMessageBox box(icon == BoxIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    ApplicationCaption(), text, QMessageBox::Ok, owner);
    box.exec();
}

bool AskYesNo(QWidget* owner, const QString& text) {
    if (Sink()) {
        return Sink()(ApplicationCaption(), text, BoxIcon::Exclamation, BoxKind::Question);
    }
    QMessageBox box(QMessageBox::Warning, ApplicationCaption(), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void WriteErrorLine(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace velmo::ui

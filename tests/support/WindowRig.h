#pragma once

// A main window on the simulated chip and the virtual clock, with every message box, the
// process's end and the file dialogs answered by the test.

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "link/BitBangLink.h"
#include "sim/SimChip.h"
#include "sim/SimOptions.h"
#include "sim/SimPort.h"
#include "timing/Clock.h"
#include "ui/MessageBox.h"
#include "ui/ProgrammerDlg.h"

namespace velmo::testing {

class WindowRig {
  public:
    explicit WindowRig(SimOptions options = {}) {
        options.virtualClock = true;
        port = std::make_unique<SimPort>(clock, options);
        previousSink = ui::SetMessageSink(
            [this](const QString&, const QString& text, ui::BoxIcon icon, ui::BoxKind kind) {
                messages << text;
                icons.push_back(icon);
                if (onMessage) onMessage(text);
                return kind == ui::BoxKind::Question ? answerYes : true;
            });
        link = std::make_unique<BitBangLink>(*port, clock);
        files.Add(*port);
        dlg = std::make_unique<CProgrammerDlg>(*link, clock, &files);
        dlg->SetProcessExit([this](int status) { exitStatus = status; });
    }
    ~WindowRig() {
        dlg.reset();
        ui::SetMessageSink(std::move(previousSink));
    }

    CProgrammerDlg& operator*() { return *dlg; }
    CProgrammerDlg* operator->() { return dlg.get(); }
    SimChip& Chip() { return port->Chip(); }

    // Calls action from inside the running operation's event pump, the first time test()
    // holds there.
    void WhenPumped(std::function<bool()> test, std::function<void()> action) {
        auto* timer = new QTimer(dlg.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, test, action] {
            if (!test()) return;
            timer->stop();
            timer->deleteLater();
            action();
        });
        timer->start();
    }

    VirtualClock clock;
    std::unique_ptr<SimPort> port;
    std::unique_ptr<BitBangLink> link;
    SideFiles files;
    std::unique_ptr<CProgrammerDlg> dlg;
    QStringList messages;
    std::vector<ui::BoxIcon> icons;
    std::function<void(const QString&)> onMessage;
    bool answerYes = true;
    std::optional<int> exitStatus;

  private:
    ui::MessageSink previousSink;
};

// Closes whatever modal window opens next, once it runs.
inline void RejectNextModal(std::function<void(QWidget*)> inspect = {}) {
    QTimer::singleShot(0, [inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (inspect) inspect(modal);
        modal->close();
    });
}

inline QString SourcePath(const char* relative) {
    return QStringLiteral(VELMO_SOURCE_DIR "/") + QString::fromUtf8(relative);
}

}  // namespace velmo::testing

// The window's Open and Save dialogs as a user meets them: Qt's own dialog in German with its
// standard buttons and its overwrite question, a last filter that lists every file, and no
// settings file left behind.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "support/TempDir.h"
#include "support/WindowRig.h"
#include "ui/Commands.h"
#include "ui/QtGerman.h"

using namespace velmo;
using namespace velmo::ui;
using velmo::testing::TempDir;
using velmo::testing::WindowRig;

namespace {

// Runs action on the first modal window that test() accepts, once it shows; polls, since a
// modal opened from inside another one's handler only shows when that handler waits. A
// dialog the action leaves open is cancelled, so a failed step never keeps the test waiting.
void WhenModal(std::function<bool(QWidget*)> test, std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, test, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !test(modal)) return;
        timer->stop();
        timer->deleteLater();
        const QPointer<QWidget> watched(modal);
        action(modal);
        if (auto* dialog = qobject_cast<QDialog*>(watched.data()); dialog && dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

bool IsFileDialog(QWidget* w) {
    return qobject_cast<QFileDialog*>(w) != nullptr;
}
bool IsMessageBox(QWidget* w) {
    return qobject_cast<QMessageBox*>(w) != nullptr;
}

QStringList ButtonTexts(QWidget* dialog) {
    QStringList texts;
    for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>()) {
        for (QAbstractButton* button : box->buttons()) texts << button->text();
    }
    return texts;
}

// The names the dialog's list shows for its current folder, as far as they can be chosen.
QStringList ListedNames(QFileDialog* dialog) {
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    if (!list) return {};
    QStringList names;
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, list->rootIndex());
        if (model->flags(index).testFlag(Qt::ItemIsEnabled)) names << index.data().toString();
    }
    return names;
}

// Clicks the dialog's Open or Save button, as a user does after typing a name.
void ClickAccept(QFileDialog* dialog) {
    auto* box = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QPushButton* button = box->button(QDialogButtonBox::Open);
    if (!button) button = box->button(QDialogButtonBox::Save);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    button->click();
}

void ActivateFilter(QFileDialog* dialog, int index) {
    auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(filters, nullptr);
    filters->setCurrentIndex(index);
    emit filters->activated(index);
    emit filters->textActivated(filters->itemText(index));
}

}  // namespace

TEST(FileDialogs, QtsOwnDialogsSpeakGerman) {
    ASSERT_TRUE(ui::InstallGermanQtTexts());
    WindowRig rig;
    rig->OnInitDialog();
    struct Case {
        int command;
        const char* title;
        QStringList filters;
        QString acceptButton;
    };
    const Case cases[] = {
        {kFileOpen,
         "Öffnen der Applikationsdatei",
         {"Intel-Hex-File (*.ihx)", "Intel-Hex-File (*.hex)", "Bin-File (*.bin)",
          "All Files (*.*)"},
         QStringLiteral("&Öffnen")},
        {kFileSaveAs,
         "Speichern der Binärdatei",
         {"Bin-File (*.bin)"},
         QStringLiteral("S&peichern")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        bool seen = false;
        WhenModal(IsFileDialog, [&](QWidget* modal) {
            seen = true;
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
            EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(c.title));
            auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            ASSERT_NE(filters, nullptr);
            QStringList shown;
            for (int i = 0; i < filters->count(); ++i) shown << filters->itemText(i);
            EXPECT_EQ(shown, c.filters);
            EXPECT_EQ(filters->currentIndex(), 0);
            const QStringList buttons = ButtonTexts(dialog);
            EXPECT_TRUE(buttons.contains(c.acceptButton)) << buttons.join('|').toStdString();
            EXPECT_TRUE(buttons.contains(QStringLiteral("Abbrechen")))
                << buttons.join('|').toStdString();
            dialog->reject();
        });
        rig->RunCommand(c.command);
        EXPECT_TRUE(seen);
    }
}

TEST(FileDialogs, SavingOverAFileAsksInGermanFirst) {
    ASSERT_TRUE(ui::InstallGermanQtTexts());
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string existing = dir.Write("chip.bin", "old");
    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "Ja" : "Nein");
        WindowRig rig;
        rig->OnInitDialog();
        QString question;
        QStringList answers;
        WhenModal(IsFileDialog, [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            WhenModal(IsMessageBox, [&](QWidget* box) {
                question = qobject_cast<QMessageBox*>(box)->text();
                for (QAbstractButton* b : qobject_cast<QMessageBox*>(box)->buttons())
                    answers << b->text();
                qobject_cast<QMessageBox*>(box)
                    ->button(replace ? QMessageBox::Yes : QMessageBox::No)
                    ->click();
            });
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(existing));
            // After "Nein" the dialog stays for another name; it is cancelled then.
            ClickAccept(dialog);
        });
        rig->OnFileSaveAs();
        EXPECT_EQ(question,
                  QStringLiteral("Die Datei chip.bin existiert bereits.\nSoll sie überschrieben "
                                 "werden?"));
        answers.sort();
        EXPECT_EQ(answers, (QStringList{QStringLiteral("&Ja"), QStringLiteral("&Nein")}));
        EXPECT_EQ(velmo::testing::ReadBytes(existing).size(), replace ? 12288u : 3u);
    }
}

TEST(FileDialogs, AllFilesListsNamesWithoutADotToo) {
    TempDir dir;
    ASSERT_TRUE(dir.Valid());
    dir.Write("blink.ihx", ":00000001FF\n");
    dir.Write("README", "no dot");
    dir.Write("firmware.bin", "bin");
    WindowRig rig;
    rig->OnInitDialog();
    QStringList firstFilter;
    QStringList allFiles;
    WhenModal(IsFileDialog, [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        dialog->setDirectory(dir.QRoot());
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return ListedNames(dialog).contains("blink.ihx"); }, 10000));
        firstFilter = ListedNames(dialog);
        ActivateFilter(dialog, 3);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ListedNames(dialog).size() >= 3; }, 10000));
        allFiles = ListedNames(dialog);
        // The name without a dot can be typed in and comes back as it is.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QStringLiteral("README"));
        ClickAccept(dialog);
        EXPECT_FALSE(dialog->isVisible()) << "the dialog did not take the name";
    });
    rig->OnFileOpen();
    EXPECT_EQ(firstFilter, QStringList{"blink.ihx"});
    allFiles.sort();
    EXPECT_EQ(allFiles, (QStringList{"README", "blink.ihx", "firmware.bin"}));
    EXPECT_EQ(QString::fromStdString(rig->FilePath()), dir.QPath("README"));
    EXPECT_EQ(rig->FileLabel()->text(), QStringLiteral("README"));
}

// The program keeps no settings between runs: opening and cancelling both file dialogs
// leaves no file in the user's configuration folder (nor anywhere in the home folder).
TEST(FileDialogs, LeaveNoSettingsBehind) {
    TempDir home;
    ASSERT_TRUE(home.Valid());
    ASSERT_TRUE(QDir(home.QRoot()).mkpath(QStringLiteral("config")));
    qputenv("HOME", QFile::encodeName(home.QRoot()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.QPath(QStringLiteral("config"))));
    {
        WindowRig rig;
        rig->OnInitDialog();
        for (int command : {kFileOpen, kFileSaveAs}) {
            bool seen = false;
            WhenModal(IsFileDialog, [&](QWidget* modal) {
                seen = true;
                qobject_cast<QFileDialog*>(modal)->reject();
            });
            rig->RunCommand(command);
            EXPECT_TRUE(seen) << command;
        }
        rig->RunCommand(kExit);
        ASSERT_TRUE(rig.exitStatus.has_value());
        EXPECT_EQ(*rig.exitStatus, 0);
    }
    QStringList left;
    QDirIterator it(home.QRoot(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) left << it.next();
    EXPECT_EQ(left, QStringList{home.QPath(QStringLiteral("config"))});
}

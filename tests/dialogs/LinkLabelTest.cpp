#include "QtHelpers.h"
#include "dialogs/LinkLabel.h"
#include "hyperlink/LinkOpening.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>
#include <QThread>

#include <deque>

namespace {

const QColor kBlue(0, 0, 238);
const QColor kPurple(85, 26, 139);

// A link whose opening is scripted, so clicks can be tested without a desktop.
class ScriptedLink : public CLinkLabel {
  public:
    using CLinkLabel::CLinkLabel;

    std::deque<int> results;
    QStringList opened;
    std::vector<int> errorsShown;

    int OpenTarget(const QString& target) override {
        opened << target;
        const int r = results.front();
        results.pop_front();
        return r;
    }
    void ShowOpenError(int code) override { errorsShown.push_back(code); }
};

struct Placed {
    QWidget parent;
    CLinkLabel* label;
    explicit Placed(Qt::Alignment align, const QString& text = QStringLiteral("Kontakt")) {
        parent.resize(400, 200);
        label = new CLinkLabel(text, &parent);
        label->setGeometry(40, 50, 200, 30);
        label->setAlignment(align);
    }
};

bool WriteText(const QString& path, const QByteArray& text, bool executable = false) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        return false;
    }
    file.close();
    return !executable ||
           file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ReadOwner);
}

}  // namespace

TEST(LinkLabel, FitsItsWindowToTheTextByItsAlignment) {
    const struct {
        const char* what;
        Qt::Alignment align;
    } cases[] = {
        {"left", Qt::AlignLeft | Qt::AlignTop},
        {"centre", Qt::AlignHCenter | Qt::AlignTop},
        {"right", Qt::AlignRight | Qt::AlignTop},
        {"vertically centred", Qt::AlignLeft | Qt::AlignVCenter},
    };
    for (const auto& c : cases) {
        for (const QString& text : {QStringLiteral("Kontakt"),
                                    QStringLiteral("A caption far wider than its window, so the "
                                                   "window has to grow")}) {
            Placed p(c.align, text);
            const QFontMetrics metrics(p.label->font());
            const int w = metrics.horizontalAdvance(text);
            const int h = metrics.height();
            p.label->Attach();
            const QRect g = p.label->geometry();
            SCOPED_TRACE(std::string(c.what) + ": " + text.toStdString());
            if (c.align & Qt::AlignVCenter) {
                EXPECT_EQ(g.top(), 50 + (30 - h) / 2);
                EXPECT_EQ(g.top() + g.height(), 80 - (30 - h) / 2);
            } else {
                EXPECT_EQ(g.top(), 50);
                EXPECT_EQ(g.height(), h);
            }
            if (c.align & Qt::AlignHCenter) {
                EXPECT_EQ(g.left(), 40 + (200 - w) / 2);
                EXPECT_EQ(g.left() + g.width(), 240 - (200 - w) / 2);
            } else if (c.align & Qt::AlignRight) {
                EXPECT_EQ(g.left() + g.width(), 240);
                EXPECT_EQ(g.width(), w);
            } else {
                EXPECT_EQ(g.left(), 40);
                EXPECT_EQ(g.width(), w);
            }
        }
    }
}

TEST(LinkLabel, CaptionIsTheTargetUntilOneIsSet) {
    Placed p(Qt::AlignLeft | Qt::AlignTop);
    p.label->Attach();
    EXPECT_EQ(p.label->Target(), QStringLiteral("Kontakt"));
    EXPECT_EQ(p.label->toolTip(), QStringLiteral("Kontakt"));
    EXPECT_EQ(p.label->cursor().shape(), Qt::ArrowCursor);

    QWidget parent;
    auto* scripted = new ScriptedLink(QStringLiteral("Kontakt"), &parent);
    scripted->Attach();
    scripted->results = {velmo::kOpenSucceeded};
    QTest::mouseClick(scripted, Qt::LeftButton);
    EXPECT_EQ(scripted->opened, QStringList{"Kontakt"});

    p.label->SetLinkTarget(QStringLiteral("mailto:a@b.example"));
    EXPECT_EQ(p.label->Target(), QStringLiteral("mailto:a@b.example"));
    EXPECT_EQ(p.label->toolTip(), QStringLiteral("mailto:a@b.example"));
    EXPECT_EQ(p.label->text(), QStringLiteral("Kontakt"));

    // An empty caption shows the target instead.
    Placed empty(Qt::AlignLeft | Qt::AlignTop, QString());
    empty.label->SetLinkTarget(QStringLiteral("https://x.example/"));
    empty.label->Attach();
    EXPECT_EQ(empty.label->text(), QStringLiteral("https://x.example/"));
    EXPECT_EQ(empty.label->width(),
              QFontMetrics(empty.label->font()).horizontalAdvance("https://x.example/"));
}

TEST(LinkLabel, HiddenLabelStaysHiddenWhenItFits) {
    Placed p(Qt::AlignLeft | Qt::AlignTop);
    p.label->hide();
    p.parent.show();
    p.label->Attach();
    p.label->SetLinkTarget(QStringLiteral("https://x.example/"));
    EXPECT_FALSE(p.label->isVisible());
}

TEST(LinkLabel, ClickOutcomeDecidesTheColour) {
    QWidget parent;
    parent.resize(300, 100);
    auto* link = new ScriptedLink(QStringLiteral("Kontakt"), &parent);
    link->move(10, 10);
    link->Attach();
    link->SetLinkTarget(QStringLiteral("mailto:a@b.example"));
    parent.show();

    EXPECT_FALSE(link->IsVisited());
    QImage shot = Snapshot(*link);
    EXPECT_GT(CountColour(shot, kBlue), 0);
    EXPECT_EQ(CountColour(shot, kPurple), 0);

    link->results = {velmo::kOpenSucceeded, velmo::kOpenNoAssociation};
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(link->opened, QStringList{"mailto:a@b.example"});
    EXPECT_TRUE(link->IsVisited());
    EXPECT_TRUE(link->errorsShown.empty());
    shot = Snapshot(*link);
    EXPECT_GT(CountColour(shot, kPurple), 0);
    EXPECT_EQ(CountColour(shot, kBlue), 0);

    // A failed open reports its code and turns the link back to unvisited: blue from the
    // next paint on.
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_FALSE(link->IsVisited());
    EXPECT_EQ(link->errorsShown, std::vector<int>{velmo::kOpenNoAssociation});
    EXPECT_EQ(link->TextColour(), kBlue);
    shot = Snapshot(*link);
    EXPECT_GT(CountColour(shot, kBlue), 0);
    EXPECT_EQ(CountColour(shot, kPurple), 0);

    // Other buttons do nothing.
    QTest::mouseClick(link, Qt::RightButton);
    EXPECT_EQ(link->opened.size(), 2);
}

TEST(LinkLabel, TextIsUnderlinedWithTheFontOfTheFirstPaint) {
    QWidget parent;
    auto* link = new CLinkLabel(QStringLiteral("Kontakt"), &parent);
    link->Attach();
    const QImage first = Snapshot(*link);
    // The underline is a full-width run of link-coloured pixels on one row.
    bool underlined = false;
    for (int y = 0; y < first.height() && !underlined; ++y) {
        int run = 0;
        for (int x = 0; x < first.width(); ++x) {
            run = first.pixelColor(x, y).rgb() == kBlue.rgb() ? run + 1 : 0;
            underlined = underlined || run >= first.width() * 3 / 4;
        }
    }
    EXPECT_TRUE(underlined);
    // A later change of the label's font leaves the drawing as it was.
    QFont bigger = link->font();
    bigger.setPointSize(bigger.pointSize() * 3);
    link->setFont(bigger);
    const QImage later = Snapshot(*link);
    ASSERT_EQ(later.size(), first.size());
    int differing = 0;
    for (int y = 0; y < later.height(); ++y) {
        for (int x = 0; x < later.width(); ++x) {
            differing += later.pixel(x, y) != first.pixel(x, y);
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(LinkLabel, FailedOpenShowsTheMessageWithAnExclamation) {
    QWidget parent;
    auto* link = new CLinkLabel(QStringLiteral("Kontakt"), &parent);
    link->Attach();
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        box->accept();
    });
    link->ShowOpenError(26);
    EXPECT_EQ(text, QStringLiteral("Unable to open hyperlink:\n\nA sharing violation occurred. "));
    EXPECT_EQ(title, QCoreApplication::applicationName());
    EXPECT_EQ(icon, QMessageBox::Warning);
}

// The desktop here (the offscreen platform) opens nothing itself, so each open goes to the
// program registered for HTML pages, found through a stand-in xdg-mime and desktop file.
class LinkFallback : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.Valid());
        ASSERT_TRUE(QDir(m_dir.QRoot()).mkpath("bin"));
        ASSERT_TRUE(QDir(m_dir.QRoot()).mkpath("data/applications"));
        m_path = std::make_unique<ScopedEnv>("PATH", QFile::encodeName(Path("bin")));
        m_dataHome = std::make_unique<ScopedEnv>("XDG_DATA_HOME", QFile::encodeName(Path("data")));
    }
    QString Path(const QString& name) const { return m_dir.QPath(name); }
    void RegisterBrowser(const QByteArray& exec) {
        ASSERT_TRUE(WriteText(Path("bin/xdg-mime"), "#!/bin/sh\necho web-browser.desktop\n", true));
        ASSERT_TRUE(WriteText(Path("data/applications/web-browser.desktop"),
                              "[Desktop Entry]\nType=Application\nExec=" + exec + "\n"));
    }
    // What the stand-in browser was started with, one argument a line; waits for it to run.
    QString BrowserArguments() {
        QFile file(Path("arguments.txt"));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            if (file.open(QIODevice::ReadOnly)) {
                const QString content = QString::fromUtf8(file.readAll());
                file.close();
                if (content.endsWith("<end>\n")) {
                    return content;
                }
            }
            QThread::msleep(10);
        }
        return QString();
    }

    velmo::testing::TempDir m_dir;
    std::unique_ptr<ScopedEnv> m_path;
    std::unique_ptr<ScopedEnv> m_dataHome;
};

TEST_F(LinkFallback, RegisteredBrowserGetsTheTargetWithoutThePlaceholderTail) {
    const QByteArray browser = QFile::encodeName(Path("bin/browser"));
    const QByteArray out = QFile::encodeName(Path("arguments.txt"));
    // Only shell builtins: the PATH here holds nothing but the stand-ins.
    ASSERT_TRUE(WriteText(Path("bin/browser"),
                          "#!/bin/sh\nprintf '%s\\n' \"$@\" '<end>' > \"" + out + "\"\n", true));
    RegisterBrowser("\"" + browser + "\" --new-window %u --private");
    CLinkLabel link(QStringLiteral("Kontakt"));
    EXPECT_EQ(link.OpenTarget(QStringLiteral("mailto:kontakt@velmo-programmer.example")),
              velmo::kOpenSucceeded);
    EXPECT_EQ(BrowserArguments(),
              QStringLiteral("--new-window\nmailto:kontakt@velmo-programmer.example\n<end>\n"));
}

TEST_F(LinkFallback, FailuresMapToShellCodes) {
    CLinkLabel link(QStringLiteral("Kontakt"));
    // No xdg-mime at all.
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenNoAssociation);
    EXPECT_TRUE(CLinkLabel::HtmlOpenCommand().isEmpty());
    // A handler whose program does not exist.
    RegisterBrowser(QFile::encodeName(Path("bin/no-such-browser")) + " %u");
    EXPECT_EQ(CLinkLabel::HtmlOpenCommand(), Path("bin/no-such-browser") + " %u");
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenFileNotFound);
    // xdg-mime names a desktop file that is nowhere.
    ASSERT_TRUE(QFile::remove(Path("data/applications/web-browser.desktop")));
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenNoAssociation);
}

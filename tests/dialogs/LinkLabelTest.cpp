#include "DesktopStandIns.h"
#include "QtHelpers.h"
#include "dialogs/LinkLabel.h"
#include "hyperlink/LinkOpening.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>

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

// Each open goes first to the desktop's opener, then to the program registered for HTML
// pages; both are stand-ins here, found on a PATH of their own.
class LinkFallback : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(desktop.Valid()); }
    QString Path(const QString& name) const { return desktop.Path(name); }

    velmo::testing::DesktopStandIns desktop;
};

TEST_F(LinkFallback, RegisteredBrowserGetsTheTargetWithoutThePlaceholderTail) {
    const QByteArray browser = QFile::encodeName(Path("bin/browser"));
    const QByteArray out = QFile::encodeName(Path("arguments"));
    ASSERT_TRUE(velmo::testing::DesktopStandIns::WriteFile(
        Path("bin/browser"), "#!/bin/sh\nprintf '%s\\n' \"$@\" '<end>' > \"" + out + "\"\n", true));
    ASSERT_TRUE(desktop.RegisterBrowser("\"" + browser + "\" --new-window %u --private"));
    CLinkLabel link(QStringLiteral("Kontakt"));
    EXPECT_EQ(link.OpenTarget(QStringLiteral("mailto:kontakt@velmo-programmer.example")),
              velmo::kOpenSucceeded);
    EXPECT_EQ(desktop.BrowserArguments(),
              QStringLiteral("--new-window\nmailto:kontakt@velmo-programmer.example\n<end>\n"));
}

TEST_F(LinkFallback, FailuresMapToShellCodes) {
    CLinkLabel link(QStringLiteral("Kontakt"));
    // No opener and no xdg-mime at all.
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenNoAssociation);
    EXPECT_TRUE(CLinkLabel::HtmlOpenCommand().isEmpty());
    // An opener that finds no program for it, and a handler whose program does not exist.
    ASSERT_TRUE(desktop.InstallOpener(3));
    ASSERT_TRUE(desktop.RegisterBrowser(QFile::encodeName(Path("bin/no-such-browser")) + " %u"));
    EXPECT_EQ(CLinkLabel::HtmlOpenCommand(), Path("bin/no-such-browser") + " %u");
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenFileNotFound);
    // xdg-mime names a desktop file that is nowhere: the opener's own answer is reported.
    ASSERT_TRUE(QFile::remove(Path("data/applications/web-browser.desktop")));
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenNoAssociation);
    ASSERT_TRUE(desktop.InstallOpener(2));
    EXPECT_EQ(link.OpenTarget(QStringLiteral("https://x.example/")), velmo::kOpenFileNotFound);
}

// A link whose failures are recorded instead of shown; everything else is the real label.
class ReportingLink : public CLinkLabel {
  public:
    using CLinkLabel::CLinkLabel;
    std::vector<int> errorsShown;
    void ShowOpenError(int code) override { errorsShown.push_back(code); }
};

// The opener's own exit status decides the click, not the mere start of the opener.
TEST_F(LinkFallback, ClickFollowsTheOpenersAnswer) {
    const QString target = QStringLiteral("mailto:kontakt@velmo-programmer.example");
    struct Case {
        const char* name;
        int openerStatus;  // -1: the opener hangs
        bool browserRegistered;
        bool visited;
        std::vector<int> errors;
        bool browserStarted;
    };
    const Case cases[] = {
        {"opener opens it", 0, true, true, {}, false},
        {"opener fails, no fallback", 4, false, false, {velmo::kOpenNoAssociation}, false},
        {"opener finds no target, no fallback", 2, false, false, {velmo::kOpenFileNotFound}, false},
        {"opener fails, browser takes it", 1, true, true, {}, true},
        {"opener still busy after the wait", -1, true, true, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        velmo::testing::DesktopStandIns stand;
        ASSERT_TRUE(c.openerStatus < 0 ? stand.InstallHangingOpener()
                                       : stand.InstallOpener(c.openerStatus));
        if (c.browserRegistered) {
            ASSERT_TRUE(stand.InstallRecordingBrowser());
        }
        QWidget parent;
        auto* link = new ReportingLink(QStringLiteral("Kontakt"), &parent);
        link->Attach();
        link->SetLinkTarget(target);
        parent.show();
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_EQ(stand.OpenerTargets(), QStringList{target});
        EXPECT_EQ(link->IsVisited(), c.visited);
        EXPECT_EQ(link->errorsShown, c.errors);
        if (c.browserStarted) {
            EXPECT_EQ(stand.BrowserArguments(), target + QStringLiteral("\n<end>\n"));
        } else {
            EXPECT_FALSE(QFile::exists(stand.Path("arguments")));
        }
    }
}

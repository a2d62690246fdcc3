#include "hyperlink/LinkOpening.h"

#include <gtest/gtest.h>

using namespace velmo;

TEST(LinkOpenError, MessagesForKnownAndUnknownCodes) {
    const std::string prefix = "Unable to open hyperlink:\n\n";
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {26, "A sharing violation occurred. "},
        {4, "Unknown Error (4) occurred."},
        {0, "The operating system is out\nof memory or resources."},
        {2, "The specified file was not found."},
        {31, "There is no application associated\nwith the given filename extension."},
        {32, "The specified dynamic-link library was not found."},
        {30,
         "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
         "being processed."},
        {33, "Unknown Error (33) occurred."},
        {-7, "Unknown Error (-7) occurred."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenErrorText(c.code), c.text) << c.code;
        EXPECT_EQ(OpenErrorMessage(c.code), prefix + c.text) << c.code;
    }
}

TEST(LinkOpenError, CodesThisProgramReportsHaveTheirOwnTexts) {
    for (int code : {kOpenOutOfResources, kOpenFileNotFound, kOpenNoAssociation}) {
        EXPECT_EQ(OpenErrorText(code).find("Unknown"), std::string::npos) << code;
    }
    EXPECT_GT(kOpenSucceeded, 32);
}

TEST(LinkFallbackCommand, PlaceholderAndEverythingAfterItAreCut) {
    const std::string target = "mailto:kontakt@velmo-programmer.example";
    const struct {
        const char* registered;
        const char* expected;
    } cases[] = {
        // A quoted program, the quoted placeholder and options: two blanks before the target.
        {R"("C:\Program Files\Browser\browser.exe" "%1" -nohome)",
         R"("C:\Program Files\Browser\browser.exe"  )"},
        {R"(C:\browser.exe %1 -new)", R"(C:\browser.exe  )"},
        // No placeholder: everything stays, one blank and the target follow.
        {R"(C:\browser.exe -new)", R"(C:\browser.exe -new )"},
        {"firefox-esr %u", "firefox-esr  "},
        {"browser --new-window %U --after", "browser --new-window  "},
        {"viewer %f", "viewer  "},
        {"viewer %F", "viewer  "},
        {R"(browser "%u" --x)", "browser  "},
        // "%%" is an escaped percent sign; only the later %u is a code.
        {"browser --x=100%%u %u", "browser --x=100%%u  "},
        // The Windows placeholder wins over an earlier field code.
        {"browser %u %1", "browser %u  "},
        {"", " "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FallbackCommandLine(c.registered, target), c.expected + target) << c.registered;
    }
}

TEST(LinkFallbackCommand, SplitsLikeAShell) {
    using Words = std::vector<std::string>;
    const struct {
        const char* line;
        Words words;
    } cases[] = {
        {"firefox-esr  mailto:a@b.example", {"firefox-esr", "mailto:a@b.example"}},
        {R"("/opt/My Browser/run" --new  x)", {"/opt/My Browser/run", "--new", "x"}},
        {R"("C:\Program Files\b.exe"  t)", {R"(C:\Program Files\b.exe)", "t"}},
        {R"(a "say \"hi\" \\ \$HOME" b)", {"a", R"(say "hi" \ $HOME)", "b"}},
        {"a\t\"\"  b", {"a", "", "b"}},
        {R"(C:\x\y.exe)", {R"(C:\x\y.exe)"}},
        {"   ", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
    }
}

TEST(LinkDesktopEntry, ExecOfTheMainGroup) {
    const char* file =
        "# comment\n"
        "[Desktop Entry]\n"
        "Name=Browser\n"
        "Exec[de]=falsch %u\n"
        "Exec = /opt/web\\sbrowser/bin --new %u\r\n"
        "[Desktop Action private]\n"
        "Exec=browser --private %u\n";
    EXPECT_EQ(DesktopEntryExec(file), "/opt/web browser/bin --new %u");
    EXPECT_EQ(DesktopEntryExec("[Desktop Action x]\nExec=a\n"), std::nullopt);
    EXPECT_EQ(DesktopEntryExec("[Desktop Entry]\nName=x"), std::nullopt);
    EXPECT_EQ(DesktopEntryExec(""), std::nullopt);
    // Backslashes that are no escape of the file format stay for the command line's quoting.
    EXPECT_EQ(DesktopEntryExec("[Desktop Entry]\nExec=a \"\\\\\\\\x\\\"\""), "a \"\\\\x\\\"\"");
}

TEST(LinkDesktopEntry, PlacesToLookForTheFile) {
    using Places = std::vector<std::string>;
    EXPECT_EQ(DesktopFilePlaces("b.desktop", "/d/home", "/home/u", "/x:/y"),
              (Places{"/d/home/applications/b.desktop", "/x/applications/b.desktop",
                      "/y/applications/b.desktop"}));
    EXPECT_EQ(
        DesktopFilePlaces("b.desktop", "", "/home/u", ""),
        (Places{"/home/u/.local/share/applications/b.desktop",
                "/usr/local/share/applications/b.desktop", "/usr/share/applications/b.desktop"}));
    EXPECT_EQ(DesktopFilePlaces("b.desktop", "", "", "/x::"),
              (Places{"/x/applications/b.desktop"}));
    for (const char* bad : {"", "../../etc/passwd", "a/b.desktop", ".."}) {
        EXPECT_TRUE(DesktopFilePlaces(bad, "/d", "/h", "/x").empty()) << bad;
    }
}

TEST(LinkFit, WindowFollowsItsAlignment) {
    const EdgeRect window{10, 20, 110, 40};  // 100 x 20
    const struct {
        const char* what;
        int textWidth;
        int textHeight;
        HorizontalFit horizontal;
        bool vcentre;
        EdgeRect expected;
    } cases[] = {
        {"left, narrower text", 40, 13, HorizontalFit::Left, false, {10, 20, 50, 33}},
        {"left, wider text", 150, 25, HorizontalFit::Left, false, {10, 20, 160, 45}},
        {"centre keeps the centre", 40, 13, HorizontalFit::Centre, false, {40, 20, 80, 33}},
        {"centre, odd difference", 41, 13, HorizontalFit::Centre, false, {39, 20, 81, 33}},
        {"centre, wider text", 140, 13, HorizontalFit::Centre, false, {-10, 20, 130, 33}},
        {"right keeps the right edge", 40, 13, HorizontalFit::Right, false, {70, 20, 110, 33}},
        {"vertical centre", 40, 10, HorizontalFit::Left, true, {10, 25, 50, 35}},
        {"vertical centre, odd", 40, 13, HorizontalFit::Left, true, {10, 23, 50, 37}},
        {"vertical centre, taller text", 40, 30, HorizontalFit::Left, true, {10, 15, 50, 45}},
        {"both centred", 20, 10, HorizontalFit::Centre, true, {50, 25, 70, 35}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitRectToText(window, c.textWidth, c.textHeight, c.horizontal, c.vcentre),
                  c.expected)
            << c.what;
    }
}

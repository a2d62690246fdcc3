#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <QString>

#include <optional>

// A static text that acts as a link: drawn in the link colour with an underlined copy of its
// font, showing its link cursor and its target as tooltip, and opening the target (a web
// address or a mailto: address) with the desktop's handler on a click.
//
// The owner places the label with its text (left-aligned and at the top unless it sets
// another alignment: Qt::AlignHCenter, Qt::AlignRight and Qt::AlignVCenter fit the window as
// centred, right-aligned and vertically centred static texts do) and then calls Attach().
class CLinkLabel : public QLabel {
    Q_OBJECT
  public:
    explicit CLinkLabel(const QString& text = QString(), QWidget* parent = nullptr);
    ~CLinkLabel() override;

    // Takes the caption as target when none is set (and the target as caption when the
    // caption is empty), fits the window to the text, shows the arrow cursor and the target
    // as tooltip.
    void Attach();

    // Stores the target, refits the window and shows the target as tooltip.
    void SetLinkTarget(QString target);
    QString Target() const { return m_target; }

    void MarkVisited(bool visited);
    bool IsVisited() const { return m_visited; }

    void SetLinkCursor(const QCursor& cursor);
    QCursor LinkCursor() const { return m_linkCursor; }

    QColor UnvisitedColour() const { return m_unvisitedColor; }
    QColor VisitedColour() const { return m_visitedColor; }
    // The colour the next paint uses.
    QColor TextColour() const { return m_visited ? m_visitedColor : m_unvisitedColor; }

    // Resizes the window to its text by the alignment rules above.
    void FitWindowToText();

    // Opens a target: the desktop's opener first, waiting up to 3 seconds for its answer,
    // then the command registered for web pages. Returns a code of hyperlink/LinkOpening.h:
    // above 32 is success.
    virtual int OpenTarget(const QString& target);
    // The message box for a failed open.
    virtual void ShowOpenError(int code);

    // The Exec line of the desktop's default handler for HTML pages, empty when there is
    // none.
    static QString HtmlOpenCommand();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void OnClicked();

    QColor m_unvisitedColor{0, 0, 238};
    QColor m_visitedColor{85, 26, 139};
    bool m_visited = false;
    bool m_underline = true;
    bool m_fitToText = true;
    QString m_target;
    // Made from the label's font at the first paint and kept from then on.
    std::optional<QFont> m_underlineFont;
    QCursor m_linkCursor;
};

#include "dialogs/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace velmo::dialogs {

namespace {

// value * numerator / denominator, rounded to nearest with halves away from zero.
int MulDivRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

QFont DialogFont() {
    // The family the layouts were drawn with; where it is missing the font matcher takes the
    // desktop's sans serif, as the main window does.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = qMax(1, (letters + 26) / 52);
    m_baseY = qMax(1, metrics.height());
}

int DialogUnits::X(int units) const {
    return MulDivRounded(units, m_baseX, 4);
}

int DialogUnits::Y(int units) const {
    return MulDivRounded(units, m_baseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}

}  // namespace velmo::dialogs

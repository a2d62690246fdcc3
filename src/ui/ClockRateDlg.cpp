#include "ui/ClockRateDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <charconv>
#include <cmath>

#include "dialogs/DialogUnits.h"
#include "ui/MessageBox.h"

namespace velmo::ui {
namespace {

constexpr std::size_t kFieldCharacters = 31;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the longest prefix that forms a decimal number: sign, digits with at most one
// full stop (at least one digit), and an exponent only when it has digits.
std::size_t NumberLength(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

}  // namespace

std::optional<double> ReadClockRateText(std::string_view text) {
    text = text.substr(0, kFieldCharacters);
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    const std::string_view rest = text.substr(start);
    const std::size_t length = NumberLength(rest);
    if (length == 0) return std::nullopt;
    std::string_view number = rest.substr(0, length);
    // from_chars reads no leading plus.
    if (number.front() == '+') number.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    // A zero that does not start with the digit 0 ("-0", ".0") is no number here.
    if (value == 0.0 && rest.front() != '0') return std::nullopt;
    for (char c : rest.substr(length))
        if (!IsBlank(c)) return std::nullopt;
    // No crystal runs at 0 MHz or below; such a rate would only give a meaningless bit clock.
    if (!(value > 0.0) || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string FormatClockRate(double mhz) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, mhz, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

}  // namespace velmo::ui

using velmo::dialogs::DialogUnits;

CClockRateDlg::CClockRateDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Konfiguration"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(velmo::dialogs::DialogFont());
    const DialogUnits du(font());

    // Template order is tab order: OK first, so it has the focus when the dialog opens.
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du.Rect(19, 62, 50, 14));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    m_cancel->setGeometry(du.Rect(105, 61, 50, 14));
    auto* caption = new QLabel(QStringLiteral("Taktrate der CPU:"), this);
    caption->setGeometry(du.Rect(21, 23, 63, 8));
    m_field = new QLineEdit(this);
    m_field->setGeometry(du.Rect(97, 20, 40, 14));
    auto* unit = new QLabel(QStringLiteral("MHz"), this);
    unit->setGeometry(du.Rect(140, 23, 16, 8));
    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_field);

    connect(m_ok, &QPushButton::clicked, this, &CClockRateDlg::OnConfirm);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(du.X(173), du.Y(95));
}

int CClockRateDlg::exec() {
    m_field->setText(QString::fromStdString(velmo::ui::FormatClockRate(m_value)));
    m_ok->setFocus();
    return QDialog::exec();
}

bool CClockRateDlg::ReadField() {
    const auto value = velmo::ui::ReadClockRateText(m_field->text().left(31).toStdString());
    if (!value) {
        velmo::ui::ShowMessageBox(this, QStringLiteral("Geben Sie bitte eine Zahl ein."),
                                  velmo::ui::BoxIcon::Exclamation);
        m_field->setFocus();
        m_field->selectAll();
        return false;
    }
    m_value = *value;
    return true;
}

void CClockRateDlg::OnConfirm() {
    if (!ReadField()) return;
    if (m_apply) m_apply(m_value);
    accept();
}

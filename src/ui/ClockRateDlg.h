#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmo::ui {

// Reads a clock rate in MHz as the field accepts it: the first 31 characters, blanks and tabs
// around one decimal number with a full stop as the decimal point (whatever the locale) and
// an optional exponent. Letters, a decimal comma, "-0", ".0", an empty text, a rate of 0 or
// below and a rate too large to hold are refused (nullopt).
std::optional<double> ReadClockRateText(std::string_view text);

// The rate as the field shows it: up to 15 significant digits, full stop, no trailing zeros.
std::string FormatClockRate(double mhz);

}  // namespace velmo::ui

// "Konfiguration": the target's clock rate. OK hands the number to the main window, which
// derives the bit delay from it; Abbrechen, Escape and the close box apply nothing.
class CClockRateDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CClockRateDlg(QWidget* parent = nullptr);

    void SetValue(double mhz) { m_value = mhz; }
    double Value() const { return m_value; }
    // Called with the confirmed rate before the dialog closes.
    void SetApply(std::function<void(double)> apply) { m_apply = std::move(apply); }

    // Shows m_value in the field, gives OK the focus and runs the dialog.
    int exec() override;

    // The OK button's command: reads the field; a refused text keeps the dialog open.
    void OnConfirm();

    QLineEdit* Field() const { return m_field; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    // Field to m_value; false (after telling the user) when the text is no usable rate.
    bool ReadField();

    double m_value = 0.0;
    std::function<void(double)> m_apply;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QLineEdit* m_field = nullptr;
};

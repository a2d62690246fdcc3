#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velmo::ui {

enum class BoxIcon { None, Exclamation };

enum class BoxKind { Message, Question };

// Where message boxes go instead of the screen: a run without a display writes them to
// standard error, tests record them. Each call stands for a box the user has just closed;
// for a question the result is the answer (true = yes).
using MessageSink =
    std::function<bool(const QString& caption, const QString& text, BoxIcon icon, BoxKind kind)>;

// Replaces the sink for the whole program and returns the previous one; an empty sink
// brings back the modal boxes.
MessageSink SetMessageSink(MessageSink sink);

// The program's own box: the text, one OK button, the application's name as caption,
// owner the given window. Returns when it is confirmed.
void ShowMessageBox(QWidget* owner, const QString& text, BoxIcon icon = BoxIcon::None);

// A yes/no question with No preselected; true for yes.
bool AskYesNo(QWidget* owner, const QString& text);

// The caption of every box: the executable's base name.
QString ApplicationCaption();

// One line on standard error, UTF-8, flushed at once.
void WriteErrorLine(const QString& line);

}  // namespace velmo::ui

#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <string>

namespace korvit::shell {

/// A question or notice the window puts to the user, with its buttons in order.
struct UserPrompt {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Question;
    QStringList buttons;
};

/// Shows the prompt as a modal message box and returns the index of the button pressed;
/// closing the box (Escape, the close button) answers the last button.
int ShowPrompt(QWidget* parent, const UserPrompt& prompt);

/// The question asked before a recording is left only in the recording file: Save, Keep in
/// temp.xdl, and Cancel when `can_cancel` (at Exit).
UserPrompt KeepRecordingPrompt(bool can_cancel);
inline constexpr int kPromptSave = 0;
inline constexpr int kPromptKeep = 1;
inline constexpr int kPromptCancel = 2;

/// The question asked before a definition changed on the pages is replaced or the program
/// exits: Save, Discard, Cancel.
UserPrompt DefinitionChangedPrompt(const std::string& adx_path);
inline constexpr int kPromptDiscard = 1;

}  // namespace korvit::shell

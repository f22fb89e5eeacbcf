#include "shell/user_prompt.h"

#include <QFileInfo>
#include <QPushButton>

namespace korvit::shell {

int ShowPrompt(QWidget* parent, const UserPrompt& prompt) {
    QMessageBox box(prompt.icon, prompt.title, prompt.text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> buttons;
    for (const QString& text : prompt.buttons) {
        buttons << box.addButton(text, QMessageBox::ActionRole);
    }
    if (buttons.isEmpty()) buttons << box.addButton(QMessageBox::Ok);
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.front()));
    box.setEscapeButton(buttons.back());
    box.exec();
    const int index = static_cast<int>(buttons.indexOf(box.clickedButton()));
    return index >= 0 ? index : static_cast<int>(buttons.size()) - 1;
}

UserPrompt KeepRecordingPrompt(bool can_cancel) {
    UserPrompt prompt{"Save recording",
                      "The recording is only in temp.xdl. Save it?",
                      QMessageBox::Question,
                      {"Save", "Keep in temp.xdl"}};
    if (can_cancel) prompt.buttons << "Cancel";
    return prompt;
}

UserPrompt DefinitionChangedPrompt(const std::string& adx_path) {
    const QString name = QFileInfo(QString::fromStdString(adx_path)).fileName();
    return {"Definition changed",
            name.isEmpty()
                ? QString("The definition was changed and has no file yet. Save it?")
                : "The definition was changed on the pages. Save the changes to " + name + "?",
            QMessageBox::Question,
            {"Save", "Discard", "Cancel"}};
}

}  // namespace korvit::shell

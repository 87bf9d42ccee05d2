#include "studio/shell/ui/QtPrompt.h"

#include <QMessageBox>
#include <QPushButton>

namespace zolvex {
namespace studio {

int QtPrompt::Show(const std::string& text, const std::string& title, PromptIcon icon, PromptButtons buttons)
{
    QMessageBox box(parent_);
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case kPromptInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case kPromptWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case kPromptError:
        box.setIcon(QMessageBox::Critical);
        break;
    case kPromptQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    default:
        break;
    }
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    std::vector<Choice> choices;
    switch (buttons) {
    case kPromptOkCancel:
        choices = {{QMessageBox::Ok, kAnswerOk}, {QMessageBox::Cancel, kAnswerCancel}};
        break;
    case kPromptYesNo:
        choices = {{QMessageBox::Yes, kAnswerYes}, {QMessageBox::No, kAnswerNo}};
        break;
    case kPromptYesNoCancel:
        choices = {{QMessageBox::Yes, kAnswerYes}, {QMessageBox::No, kAnswerNo}, {QMessageBox::Cancel, kAnswerCancel}};
        break;
    default:
        choices = {{QMessageBox::Ok, kAnswerOk}};
        break;
    }
    QMessageBox::StandardButtons all;
    for (const Choice& c : choices)
        all |= c.button;
    box.setStandardButtons(all);
    box.setDefaultButton(choices.front().button);
    for (const Choice& c : choices)
        if (QAbstractButton* b = box.button(c.button))
            b->setAccessibleName(b->text().remove('&'));
    const int pressed = box.exec();
    for (const Choice& c : choices)
        if (pressed == c.button)
            return c.answer;
    // Closed by its title bar or Escape: the gentlest answer there is.
    return buttons == kPromptOk ? kAnswerOk : buttons == kPromptYesNo ? kAnswerNo : kAnswerCancel;
}

}  // namespace studio
}  // namespace zolvex

// Message boxes of the program: the studio's questions shown as Qt message boxes
// over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Prompt.h"

namespace zolvex {
namespace studio {

class QtPrompt : public IPrompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    int Show(const std::string& text, const std::string& title, PromptIcon icon, PromptButtons buttons) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace studio
}  // namespace zolvex

// Message boxes: the studio asks the user through one interface, which the program
// shows as dialogs and tests answer from a script.
#pragma once

#include <string>

namespace zolvex {

enum PromptIcon { kPromptNoIcon = 0, kPromptInformation, kPromptWarning, kPromptError, kPromptQuestion };
enum PromptButtons { kPromptOk = 0, kPromptOkCancel, kPromptYesNo, kPromptYesNoCancel };
// The answers keep the Windows numbers the dialogs have always returned.
enum PromptAnswer { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

class IPrompt {
public:
    virtual ~IPrompt() = default;
    virtual int Show(const std::string& text, const std::string& title, PromptIcon icon, PromptButtons buttons) = 0;
};

}  // namespace zolvex

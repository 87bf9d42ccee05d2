// Message boxes answered from a script: each question takes the next answer (the
// default button's once the script runs out), and every box shown is kept.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Prompt.h"

namespace zolvex {
namespace testsupport {

struct ShownPrompt {
    std::string text, title;
    PromptIcon icon;
    PromptButtons buttons;
};

class ScriptedPrompt : public IPrompt {
public:
    std::deque<int> answers;
    std::vector<ShownPrompt> shown;

    int Show(const std::string& text, const std::string& title, PromptIcon icon, PromptButtons buttons) override
    {
        shown.push_back({text, title, icon, buttons});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == kPromptYesNo || buttons == kPromptYesNoCancel ? kAnswerYes : kAnswerOk;
    }
    // The last box's text, or "" when none was shown.
    std::string LastText() const { return shown.empty() ? std::string() : shown.back().text; }
};

}  // namespace testsupport
}  // namespace zolvex

#include "tests/unit/standins.h"

#include <gtest/gtest.h>

#include <deque>

namespace {
std::deque<DialogAnswer> answers;
std::vector<DialogKind> shown;
} // namespace

void ScriptDialogs(std::vector<DialogAnswer> script) {
    answers.assign(script.begin(), script.end());
    shown.clear();
}

const std::vector<DialogKind>& DialogsShown() { return shown; }
std::size_t DialogAnswersLeft() { return answers.size(); }

void RunInputDialog(WindowRef, DialogKind kind) {
    shown.push_back(kind);
    for (;;) {
        if (answers.empty()) {
            ADD_FAILURE() << "dialog " << DialogTemplate(kind) << " shown with no answer scripted";
            DialogCancel(kind);
            return;
        }
        DialogAnswer a = answers.front();
        answers.pop_front();
        EXPECT_EQ(a.kind, kind) << "expected dialog " << DialogTemplate(a.kind) << ", got " << DialogTemplate(kind);
        if (!a.ok) {
            DialogCancel(kind);
            return;
        }
        const char* texts[4] = {"", "", "", ""};
        for (std::size_t i = 0; i < a.texts.size() && i < 4; ++i) texts[i] = a.texts[i].c_str();
        if (DialogConfirm(WindowRef{0x4444}, kind, texts)) return;
    }
}

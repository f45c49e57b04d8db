#include "tests/unit/standins.h"

#include "platform/record/record.h"

#include <gtest/gtest.h>

#include <deque>

namespace {
std::deque<DialogAnswer> answers;
std::vector<DialogKind> shown;
std::size_t boxesOverDialogs = 0;

// The scripted answers, until one closes the dialog.
void AnsweredDialog(DialogKind kind) {
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

} // namespace

void ScriptDialogs(std::vector<DialogAnswer> script) {
    answers.assign(script.begin(), script.end());
    shown.clear();
    boxesOverDialogs = 0;
}

std::size_t BoxesOverDialogs() { return boxesOverDialogs; }

const std::vector<DialogKind>& DialogsShown() { return shown; }
std::size_t DialogAnswersLeft() { return answers.size(); }

void RunInputDialog(WindowRef, DialogKind kind) {
    const std::size_t boxes = RecordedBoxes().size();
    AnsweredDialog(kind);
    boxesOverDialogs += RecordedBoxes().size() - boxes;
}

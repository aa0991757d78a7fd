#pragma once

class QWidget;

namespace orv {

class AppModel;

namespace ui {

// "Enable Accessibility…": says in one sentence what switching the session's accessibility on does, then,
// when the user agrees, switches it on. Once the switch is on, the desktop's accessibility settings open
// instead, with no question.
void enableAccessibility(AppModel &model, QWidget *parent);

// The question's window, for finding it again.
inline constexpr const char *accessibilityPromptName = "OrvantaAccessibilityPrompt";

} // namespace ui
} // namespace orv

#pragma once

// Screen readers on this desktop take a combo box's name from its text, so
// that "日期" would be read as "2026-12-9" and "优先级" as "高". A combo box
// that carries an accessible name (its label's) has it as its name, and its
// text as its value. The program's windows (plain widgets at the top) are
// frames to screen readers, or dialogs when they are dialog windows. The
// items of a CheckList carry their check state and a Toggle that works.
namespace AccessibleInputs {
void install(); // once; later calls do nothing
} // namespace AccessibleInputs

#pragma once

class QDialog;

// Shows a window modally and returns its result. A modal window runs a nested event loop: one
// opened from a poll cycle's step would hold monitoring up, so the nested-wait guard checks first.
int ExecModal(QDialog &dialog);

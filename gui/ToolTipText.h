#pragma once
#include <QString>

// A tool tip's text broken into lines of at most kToolTipLineLength
// characters at spaces (a longer word, such as a path, is cut), so no tip
// spreads across the screen on one line. Short texts come back unchanged.
// Every tool tip of the window goes through it.
constexpr int kToolTipLineLength = 60;
QString ToolTipText(const QString& text);

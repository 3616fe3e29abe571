#pragma once
class QWidget;

// Gives the window and every widget inside it one compact font size
// (11 pixels), as the desktop program shows it.
void UseCompactFont(QWidget* window);

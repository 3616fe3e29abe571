#pragma once
#include <QString>

// The file dialog splits the patterns of a filter at blanks; the UI texts list
// them with ';' between, which would make one pattern that matches nothing.
QString FileDialogFilter(const QString& filters);

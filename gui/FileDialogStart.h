#pragma once
#include <QString>

// Where a file dialog opens: the remembered file or folder while its folder
// still exists and is not a system folder (/proc, /sys, /dev, where listing
// or probing a node can block the dialog), else the home folder. Every file
// dialog of the program starts here.
QString FileDialogStart(const QString& remembered);

#pragma once
// Outputs are written beside their path and renamed over it, so a failed
// write keeps the previous file. That rename would replace whatever node sits
// at the path: a device (as root, /dev/null itself), a pipe or a socket.

// True when path names nothing yet, or a regular file (or a link to one),
// which a finished output may replace.
bool IsReplaceableOutput(const char* path);

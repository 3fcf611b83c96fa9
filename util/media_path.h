// The DirectX SDK's immediate-mode media directory, read from the registry.
#pragma once

// The media directory ending in a backslash, or "" when the SDK's samples
// path is not in the registry. Never null. The text lives in one shared
// buffer that the next call overwrites: copy it at once.
const char* LookUpMediaDirectory();

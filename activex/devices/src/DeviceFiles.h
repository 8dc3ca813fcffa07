// File rules of the device players.
#pragma once

#include <string>

// Creates every missing folder along path: each prefix that ends before a
// separator ('\\' or '/') and does not exist yet. False when one cannot be made.
bool CreateFoldersAlong(const char* path);

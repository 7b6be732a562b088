#include "common/private_folders.h"

// Before main: the settings object reads its folder once, at first use.
static const TPrivateFolders kPrivateFolders;

#pragma once

// Gives the process a runtime folder when the session named none
// (XDG_RUNTIME_DIR unset, as for root outside a login session): the one Qt
// would fall back to, made as Qt would make it, but without Qt's warning on
// every run of a command-line tool. A folder that is not safely ours is left
// alone, and Qt then says so itself. Call before the application object.
void EnsureRuntimeFolder();

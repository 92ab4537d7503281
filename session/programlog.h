#pragma once

#include "session/dialoguelog.h"

// The program's one dialogue log. Null until StartProgramLog: a file run without --log has
// none, so its driver is given no observer; the window always has one, kept in memory for
// "Save dialogue log...", and --log adds its file.
TDialogueLog* ProgramLog();

// Main thread, at start-up, before any comms thread exists: makes the program's log, or
// returns the one made before. It lives until the process ends, and is destroyed (its last
// lines written) after the comms threads started later have been stopped, even on exit().
TDialogueLog& StartProgramLog();

// The practice opponent behind `tornello --bot`: a headless game on the real
// clock, without window or sound, played by an autopilot. It prints every line it
// would speak. A hosting bot plays one match after another; a joining bot plays
// one match and ends.
#pragma once

#include "shell/command_line.h"

namespace tornello {

// Runs the bot the command line asks for (its `bot` is set). Returns the exit code.
int run_bot(const CommandLine& command_line);

}  // namespace tornello

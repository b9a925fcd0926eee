// The game's entry sequence and its end.
#pragma once

#include "shell/command_line.h"
#include "shell/game.h"
#include "shell/main_menu.h"

namespace tornello {

// Brings the platform services up, opens the window, loads the language and the
// sounds, shows the title screen and runs the main menu until the player exits.
// Returns the process's exit code, which is always 0.
int start_up(Game& game, const CommandLine& command_line);
// The same with the main menu's flows given (tests give their own).
int start_up(Game& game, const CommandLine& command_line, const MainMenuFlows& flows);

// Waits for Enter to be let go while the title music plays.
void show_title_screen(Game& game);

// Releases every platform service. The caller then ends the process with code 0.
int shut_down(Game& game);

}  // namespace tornello

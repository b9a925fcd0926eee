// The settings screen: the sounds and music levels, speech through the speech
// service, the language and opening the port on the router. Up and Down choose,
// Left and Right change; each change is spoken, takes effect and is saved at
// once. Escape leaves, as Back does.
#pragma once

#include <string>
#include <vector>

#include "shell/game.h"

namespace tornello {

// Runs the screen until the player leaves it; always returns Next::main_menu.
Next run_settings(Game& game);

// Hands the kept settings to the mixer and the platform: the levels, speech on
// or off, the speech service's language and the help line of text prompts.
// Called at start-up, once the language is loaded, and after every change.
void apply_settings(Game& game);

struct LanguageChoice {
  std::string code;  // the file's name without ".lng", as spelled on disk
  std::string name;  // the language's name for itself, or the code when the file has none
};
// The language files in lang/, in order of their names.
std::vector<LanguageChoice> find_languages(Game& game);

}  // namespace tornello

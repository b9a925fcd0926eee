// Builds the chosen platform and hands over to start-up.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "platform/headless/terminal_input.h"
#ifdef _WIN32
#include "platform/win32/win32_platform.h"
#else
#include "platform/sdl/sdl_platform.h"
#endif
#include "session/bot.h"
#include "shell/command_line.h"
#include "shell/settings_file.h"
#include "shell/start_up.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A peer or a speech daemon that vanishes must not kill the game.
  std::signal(SIGPIPE, SIG_IGN);
#endif

  std::vector<std::string> arguments(argv + 1, argv + argc);
  tornello::CommandLine command_line = tornello::parse_command_line(arguments);
  if (!command_line.error.empty()) {
    std::fprintf(stderr, "tornello: %s\n", command_line.error.c_str());
    return 2;
  }
  if (command_line.bot) return tornello::run_bot(command_line);
  // A player's run keeps its settings; the bot's and the tests' do not.
  command_line.settings_path = tornello::default_settings_path();

  if (command_line.headless) {
    // Plays in a terminal: keys are typed as words, spoken lines are printed.
    tornello::HeadlessPlatform platform(tornello::HeadlessPlatform::Clock::real_time);
    platform.set_echo(true);
    tornello::TerminalInput input;
    platform.set_input(&input);
    tornello::Game game(platform);
    return tornello::start_up(game, command_line);
  }

#ifdef _WIN32
  // The window title is the screen reader's path there; no speech service.
  std::unique_ptr<tornello::Platform> platform = tornello::create_win32_platform();
#else
  std::unique_ptr<tornello::Platform> platform =
      tornello::create_sdl_platform({.speech = command_line.speech});
#endif
  if (!platform) return 1;  // no desktop; the reason is already printed
  tornello::Game game(*platform);
  return tornello::start_up(game, command_line);
}

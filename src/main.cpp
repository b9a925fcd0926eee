// Reads the command line, finds the game's data, builds the chosen platform and
// hands over to start-up.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/data_folder.h"
#include "platform/headless/headless_platform.h"
#include "platform/headless/terminal_input.h"
#ifdef _WIN32
#include <windows.h>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_platform.h"
#else
#include "platform/sdl/sdl_platform.h"
#endif
#include "session/bot.h"
#include "shell/command_line.h"
#include "shell/settings_file.h"
#include "shell/start_up.h"

#ifndef TORNELLO_VERSION
#define TORNELLO_VERSION "unknown"
#endif

namespace {

// Text for the person who started the game, on standard output or standard
// error. The Windows game has no console: unless its output was redirected, the
// text is shown in a message box, which screen readers read.
void tell(FILE* stream, const std::string& text) {
#ifdef _WIN32
  const HANDLE handle = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    MessageBoxW(nullptr, tornello::widen(text).c_str(), L"Tornello",
                stream == stdout ? MB_ICONINFORMATION : MB_ICONERROR);
    return;
  }
#endif
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A peer or a speech daemon that vanishes must not kill the game.
  std::signal(SIGPIPE, SIG_IGN);
#endif

  std::vector<std::string> arguments(argv + 1, argv + argc);
  tornello::CommandLine command_line = tornello::parse_command_line(arguments);
  if (!command_line.error.empty()) {
    tell(stderr, "tornello: " + command_line.error + "\n\n" + tornello::usage_text());
    return 2;
  }
  if (command_line.help) {
    tell(stdout, tornello::usage_text());
    return 0;
  }
  if (command_line.version) {
    tell(stdout, std::string("tornello ") + TORNELLO_VERSION + "\n");
    return 0;
  }
  // Nothing can be spoken without the language file, so a missing data tree is
  // only printed.
  if (const std::string problem = tornello::enter_data_folder(command_line.data);
      !problem.empty()) {
    tell(stderr, "tornello: " + problem + "\n");
    return 1;
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

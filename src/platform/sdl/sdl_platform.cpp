#include "platform/sdl/sdl_platform.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/random.h"
#include "platform/sdl/input_map.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/text_prompt.h"
#include "platform/speech/speech.h"

namespace tornello {
namespace {

class SdlPlatform : public Platform {
 public:
  explicit SdlPlatform(const SdlOptions& options) {
    if (options.speech) speech_ = open_speech_dispatcher();
    // Typed text is only wanted while the in-window prompt is open.
    SDL_StopTextInput();
    // Mouse motion is read as summed state; as events it would only flood the queue.
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
  }
  ~SdlPlatform() override { close(); }

  bool open_window(const std::string& title) override;
  void set_title(const std::string& text) override;
  int pump_events(int timeout_ms) override;
  bool wait_for_input(int32_t max_ms) override;
  void speak(const std::string& line, LineKind kind) override {
    last_line_ = line;
    if (speech_) speech_->say(line, kind);
  }
  // Turned off, the line being spoken is heard out first; turned on, the line
  // on the title is spoken.
  void set_speech(bool on) override {
    if (!on && speech_) {
      speech_->finish(std::chrono::milliseconds(2500));
      speech_.reset();
    } else if (on && !speech_) {
      speech_ = open_speech_dispatcher();
      if (!speech_) return;
      if (!speech_language_.empty()) speech_->set_language(speech_language_);
      speech_->say(last_line_, LineKind::answer);
    }
  }
  void set_prompt_help(const std::string& help) override { prompt_help_ = help; }
  void set_speech_language(const std::string& code) override {
    if (code == speech_language_) return;
    speech_language_ = code;
    if (speech_) speech_->set_language(code);
  }
  // Milliseconds since start-up, like SDL's tick count, but on a clock whose
  // tick edges are known, so a wait can end right on one.
  uint32_t elapsed_ms() override {
    const auto since = std::chrono::steady_clock::now() - clock_start_;
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  }
  uint32_t seed_source() override {
    const auto id = static_cast<uint64_t>(SDL_ThreadID());
    return static_cast<uint32_t>(id ^ (id >> 32)) ^ wall_clock_seed();
  }

  bool init_keyboard() override { return true; }
  bool read_keyboard(KeyboardSnapshot& out) override;
  bool init_mouse() override { return true; }
  bool read_mouse(MouseReading& out) override;
  int init_joysticks() override;
  bool read_joystick(int index, JoystickReading& out) override;

  AudioDevice& audio() override { return audio_; }

  std::string ask_text(const std::string& title, const std::string& prompt,
                       const std::string& default_text) override;

  void close() override;

 private:
  bool focused() const {
    return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
  }
  void paint_black();
  // What the game does with an event itself: repaint the black face.
  void handle(const SDL_Event& event);
  void capture_mouse(bool capture);
  // Serves the window while a prompt holds the game: events are handled, input
  // is thrown away.
  void serve_window_discarding_input();
  std::string prompt_in_window(const std::string& opening_line, const std::string& default_text);
  // A line of the in-window prompt: each answers the player's key.
  void announce(const std::string& line) {
    set_title(line);
    speak(line, LineKind::answer);
  }

  const std::chrono::steady_clock::time_point clock_start_ = std::chrono::steady_clock::now();
  bool closed_ = false;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<SpeechOutput> speech_;
  std::string speech_language_;
  std::string prompt_help_;
  std::string last_line_;
  KeySnapshotter keys_;
  bool mouse_captured_ = false;
  SDL_Joystick* joystick_ = nullptr;
  SdlAudioDevice audio_;
};

bool SdlPlatform::open_window(const std::string& title) {
  if (window_) return true;
  SDL_DisplayMode mode{};
  int width = 1024, height = 768;
  if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
    width = mode.w;
    height = mode.h;
  }
  window_ = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                             height, SDL_WINDOW_SHOWN);
  if (!window_) {
    std::fprintf(stderr, "Tornello could not open its window: %s\n", SDL_GetError());
    return false;
  }
  paint_black();
  return true;
}

void SdlPlatform::paint_black() {
  // Nothing is ever drawn; the window only has to be black, not garbage.
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) return;
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  SDL_UpdateWindowSurface(window_);
}

void SdlPlatform::set_title(const std::string& text) {
  if (window_) SDL_SetWindowTitle(window_, text.c_str());
}

int SdlPlatform::pump_events(int timeout_ms) {
  SDL_Event event;
  if (!SDL_PollEvent(&event)) {
    // Nothing waiting: sleep until the clock has moved on by the time-out. Ending
    // on a tick keeps delay_ms, whose last millisecond this is, from overshooting
    // by most of a millisecond. An event arriving meanwhile is taken next call.
    if (timeout_ms > 0) {
      const uint32_t target = elapsed_ms() + static_cast<uint32_t>(timeout_ms);
      std::this_thread::sleep_until(clock_start_ + std::chrono::milliseconds(target));
    }
    return 0;
  }
  handle(event);
  return static_cast<int>(event.type);
}

bool SdlPlatform::wait_for_input(int32_t max_ms) {
  // SDL sleeps in the desktop's own event wait (on X11, on the connection).
  SDL_Event event;
  if (!SDL_WaitEventTimeout(&event, std::max(max_ms, 0))) return false;
  handle(event);
  return true;
}

void SdlPlatform::handle(const SDL_Event& event) {
  // A close request is left unanswered: only the main menu ends the game.
  if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED && window_) {
    SDL_UpdateWindowSurface(window_);
  }
}

bool SdlPlatform::read_keyboard(KeyboardSnapshot& out) {
  if (!focused()) return false;
  int count = 0;
  const Uint8* state = SDL_GetKeyboardState(&count);
  keys_.fill(state, count, (SDL_GetModState() & KMOD_NUM) != 0, out);
  return true;
}

void SdlPlatform::capture_mouse(bool capture) {
  if (mouse_captured_ == capture) return;
  // Relative mode hides the pointer and keeps it in the window; where the
  // desktop cannot do it, a grab and a hidden cursor do the same.
  if (SDL_SetRelativeMouseMode(capture ? SDL_TRUE : SDL_FALSE) != 0 && window_) {
    SDL_SetWindowGrab(window_, capture ? SDL_TRUE : SDL_FALSE);
    SDL_ShowCursor(capture ? SDL_DISABLE : SDL_ENABLE);
  }
  mouse_captured_ = capture;
  // Motion made before the capture is not the player's stroke.
  SDL_GetRelativeMouseState(nullptr, nullptr);
}

bool SdlPlatform::read_mouse(MouseReading& out) {
  if (!focused()) {
    capture_mouse(false);
    return false;
  }
  capture_mouse(true);
  int dx = 0, dy = 0;
  const Uint32 buttons = SDL_GetRelativeMouseState(&dx, &dy);
  out.delta_x = dx;
  out.delta_y = dy;
  out.buttons[0] = (buttons & SDL_BUTTON(SDL_BUTTON_LEFT)) != 0;
  out.buttons[1] = (buttons & SDL_BUTTON(SDL_BUTTON_RIGHT)) != 0;
  out.buttons[2] = (buttons & SDL_BUTTON(SDL_BUTTON_MIDDLE)) != 0;
  return true;
}

int SdlPlatform::init_joysticks() {
  if (joystick_) return 1;
  if (!SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return 0;
  // Only the first controller is played with.
  if (SDL_NumJoysticks() < 1) return 0;
  joystick_ = SDL_JoystickOpen(0);
  return joystick_ ? 1 : 0;
}

bool SdlPlatform::read_joystick(int index, JoystickReading& out) {
  if (index != 0 || !joystick_) return false;
  // Read on demand: SDL left to update it by itself would poll instead of
  // sleeping in its event wait whenever a controller is plugged in.
  SDL_JoystickUpdate();
  if (!SDL_JoystickGetAttached(joystick_)) return false;
  JoystickReading reading;
  reading.x = scale_axis(SDL_JoystickGetAxis(joystick_, 0));
  reading.y = scale_axis(SDL_JoystickGetAxis(joystick_, 1));
  const int buttons = SDL_JoystickNumButtons(joystick_);
  for (int b = 0; b < buttons && b < 32; ++b) {
    if (SDL_JoystickGetButton(joystick_, b)) reading.buttons[b] = 0x80;
  }
  out = reading;
  return true;
}

void SdlPlatform::serve_window_discarding_input() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) handle(event);
}

std::string SdlPlatform::ask_text(const std::string& title, const std::string& prompt,
                                  const std::string& default_text) {
  const std::string opening = prompt_line(title, prompt, default_text);
  announce(opening);
  // The pointer must be free to reach the dialog.
  capture_mouse(false);
  std::optional<std::string> answer;
  if (const std::optional<std::string> zenity = find_on_path("zenity")) {
    const ProgramResult result = run_program(*zenity, zenity_arguments(title, prompt, default_text),
                                             [this] { serve_window_discarding_input(); });
    if (result.started) answer = dialog_answer(result);
  }
  if (!answer) answer = prompt_in_window(opening, default_text);

  if (window_) {
    // The game window takes the focus back so the player hears it again.
    SDL_RaiseWindow(window_);
    SDL_SetWindowInputFocus(window_);
  }
  serve_window_discarding_input();
  keys_.hide_held_keys();
  return *answer;
}

std::string SdlPlatform::prompt_in_window(const std::string& opening_line,
                                          const std::string& default_text) {
  if (!window_) return "";
  WindowPrompt editor(opening_line, default_text, prompt_help_);
  // Keys pressed before the prompt opened (the Enter that chose it) are not typing.
  serve_window_discarding_input();
  SDL_StartTextInput();
  const WindowPrompt::Announce tell = [this](const std::string& line) { announce(line); };
  while (editor.state() == WindowPrompt::State::editing) {
    SDL_Event event;
    // Only an event can change what is typed; nothing else is due meanwhile.
    if (!SDL_WaitEventTimeout(&event, idle_wait_ms)) continue;
    handle(event);
    editor.handle(event, tell);
  }
  SDL_StopTextInput();
  return editor.result();
}

void SdlPlatform::close() {
  if (closed_) return;
  closed_ = true;
  audio_.close();
  // The last line (why the game ends, as often as not) is heard out; a speech
  // service that does not answer holds the exit back less than 3 seconds in all.
  if (speech_) speech_->finish(std::chrono::milliseconds(2500));
  speech_.reset();
  if (joystick_) SDL_JoystickClose(joystick_);
  joystick_ = nullptr;
  if (window_) {
    capture_mouse(false);
    SDL_DestroyWindow(window_);
  }
  window_ = nullptr;
  SDL_Quit();
}

}  // namespace

std::unique_ptr<Platform> create_sdl_platform(const SdlOptions& options) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    std::fprintf(stderr, "Tornello: only one desktop platform can be open at a time.\n");
    return nullptr;
  }
  // Ctrl+C and a kill end the game at once, as for any other program; SDL would
  // turn them into a quit request that the game ignores.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // The black fill goes straight to the window. An accelerated surface would
  // make SDL destroy the window and open a new one (with a GPU context) just
  // after it appeared, and the screen reader would lose it.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Controllers are read when the game asks (read_joystick), so a plugged-in
  // one does not turn every event wait into a millisecond poll.
  SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    std::fprintf(stderr, "Tornello could not reach the desktop: %s\n", SDL_GetError());
    SDL_Quit();
    return nullptr;
  }
  // Sound and controllers are optional: without them the game runs silent or on
  // the keyboard alone.
  SDL_InitSubSystem(SDL_INIT_AUDIO);
  SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
  return std::make_unique<SdlPlatform>(options);
}

}  // namespace tornello

// What the waiting screens cost, measured on the real game on a virtual X
// display: the share of one core the game uses over a stretch at the title
// screen, in the main menu, while hosting and waiting for a guest, and in a
// match with the ball idle (against a guest played by this program, which
// never serves); and the time from a key event to the line it makes the game
// speak (the window's new title), both taken from the X server's clock.
//
//   bench_waiting [--game PATH | --windows PATH.exe] [--seconds N] [--presses N]
//
// The SDL game of this build runs by default (dummy audio, no speech). With
// --windows the Windows build runs under Wine instead (sound to ALSA's null
// device), and the wineserver's share is shown beside the game's. Needs
// xvfb-run, xdotool and the sounds the build generates; without them it
// says so and measures nothing.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "net/protocol.h"
#include "shell/settings.h"
#include "support/desktop.h"
#include "support/loopback.h"
#include "support/temp_dir.h"
// Last: Xlib's macros (None, Status, Bool...) would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

struct Options {
  std::string game = TORNELLO_BINARY;
  bool windows = false;
  int seconds = 10;
  int presses = 20;
  // The data tree this build generated beside its game.
  std::string data = (std::filesystem::path(TORNELLO_BINARY).parent_path() / "data").string();
};

std::string file_line(const std::string& path, int number) {
  std::ifstream in(path);
  std::string line;
  for (int n = 1; n <= number; ++n) std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Nanoseconds on a CPU of each of a process's threads, the first thread first.
std::vector<uint64_t> thread_cpu_ns(int pid) {
  std::vector<uint64_t> times;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::vector<int> ids;
  if (DIR* dir = ::opendir(tasks.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ids.push_back(std::atoi(entry->d_name));
    }
    ::closedir(dir);
  }
  std::sort(ids.begin(), ids.end());
  for (int id : ids) {
    uint64_t ns = 0;
    std::ifstream(tasks + "/" + std::to_string(id) + "/schedstat") >> ns;
    times.push_back(ns);
  }
  return times;
}

uint64_t process_cpu_ns(int pid) {
  const std::vector<uint64_t> times = thread_cpu_ns(pid);
  return std::accumulate(times.begin(), times.end(), uint64_t{0});
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The process whose command line contains `text` and whose environment holds
// `variable` (so that nobody else's Wine on this machine is measured), or 0.
int find_process(const std::string& text, const std::string& variable) {
  int found = 0;
  if (DIR* dir = ::opendir("/proc")) {
    while (dirent* entry = ::readdir(dir)) {
      const int pid = std::atoi(entry->d_name);
      if (pid <= 0 || pid == ::getpid()) continue;
      const std::string process = "/proc/" + std::to_string(pid);
      if (read_whole(process + "/cmdline").find(text) == std::string::npos) continue;
      const std::string environment = read_whole(process + "/environ");
      if (environment.find(std::string("\0") + variable + '\0') != std::string::npos ||
          environment.starts_with(variable + '\0')) {
        found = pid;
      }
    }
    ::closedir(dir);
  }
  return found;
}

std::string load_average() {
  std::string one, five, fifteen;
  std::ifstream("/proc/loadavg") >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Every top-level window's title as it changes, and every key event, each with
// the X server's time of it.
class Watcher {
 public:
  Watcher() : x_(XOpenDisplay(nullptr)) {
    if (!x_) return;
    name_ = XInternAtom(x_, "_NET_WM_NAME", False);
    const Window root = DefaultRootWindow(x_);
    XSelectInput(x_, root, SubstructureNotifyMask);
    // Raw key events reach this client whichever window has the focus.
    int event = 0, error = 0;
    if (XQueryExtension(x_, "XInputExtension", &input_opcode_, &event, &error)) {
      unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
      XISetMask(bits, XI_RawKeyPress);
      XISetMask(bits, XI_RawKeyRelease);
      XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
      XISelectEvents(x_, root, &mask, 1);
    }
    XSync(x_, False);
  }
  ~Watcher() {
    if (x_) XCloseDisplay(x_);
  }
  bool ready() const { return x_ != nullptr; }
  Display* x() const { return x_; }

  // Serves events until a window is titled as `wanted` accepts, a title seen
  // since the last one waited for counting too (a line may be replaced at
  // once); that window, or 0.
  Window wait_until(const std::function<bool(const std::string&)>& wanted,
                    Clock::duration limit = seconds(60)) {
    for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
      for (; next_ < history_.size(); ++next_) {
        if (wanted(history_[next_].second)) return history_[next_++].first;
      }
      serve(milliseconds(20));
    }
    return 0;
  }
  Window wait_for(const std::string& text, Clock::duration limit = seconds(60)) {
    return wait_until([&](const std::string& title) { return title == text; }, limit);
  }

  // Sends the key as a person presses it and waits for `text`: the time from
  // the press (or the release) to the title, in ms by the server's clock; -1
  // when the title never came.
  long answer_time(const std::string& key, bool on_release, const std::string& text) {
    titled_at_.clear();
    key_at_ = {0, 0};
    next_ = history_.size();
    xdotool("keydown " + key + " sleep 0.1 keyup " + key);
    if (!wait_for_new(text)) return -1;
    const Time sent = on_release ? key_at_.second : key_at_.first;
    return sent == 0 ? -1 : static_cast<long>(titled_at_[text] - sent);
  }

  // The last titles seen, oldest first.
  std::string titles() const {
    std::string text;
    for (size_t k = history_.size() > 8 ? history_.size() - 8 : 0; k < history_.size(); ++k) {
      text += " [" + history_[k].second + "]";
    }
    return text;
  }

  void serve(Clock::duration patience) {
    if (!XPending(x_)) {
      pollfd watch{ConnectionNumber(x_), POLLIN, 0};
      ::poll(&watch, 1,
             static_cast<int>(std::chrono::duration_cast<milliseconds>(patience).count()));
    }
    while (XPending(x_)) {
      XEvent event;
      XNextEvent(x_, &event);
      if (event.type == CreateNotify && !event.xcreatewindow.override_redirect) {
        XSelectInput(x_, event.xcreatewindow.window, PropertyChangeMask);
        note(event.xcreatewindow.window, CurrentTime);
      } else if (event.type == PropertyNotify &&
                 (event.xproperty.atom == name_ || event.xproperty.atom == XA_WM_NAME)) {
        note(event.xproperty.window, event.xproperty.time);
      } else if (event.type == GenericEvent && event.xcookie.extension == input_opcode_ &&
                 XGetEventData(x_, &event.xcookie)) {
        const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
        (raw->evtype == XI_RawKeyPress ? key_at_.first : key_at_.second) = raw->time;
        XFreeEventData(x_, &event.xcookie);
      }
    }
  }

 private:
  bool wait_for_new(const std::string& text) {
    for (const auto deadline = Clock::now() + seconds(10); Clock::now() < deadline;) {
      if (titled_at_.count(text)) return true;
      serve(milliseconds(20));
    }
    return false;
  }

  void note(Window window, Time time) {
    std::string title;
    char* name = nullptr;
    if (XFetchName(x_, window, &name) && name) title = name;
    if (name) XFree(name);
    if (title.empty() || titles_[window] == title) return;
    titles_[window] = title;
    history_.emplace_back(window, title);
    if (time != CurrentTime && !titled_at_.count(title)) titled_at_[title] = time;
  }

  Display* x_ = nullptr;
  Atom name_ = 0;
  int input_opcode_ = -1;
  std::map<Window, std::string> titles_;
  std::vector<std::pair<Window, std::string>> history_;
  size_t next_ = 0;
  std::map<std::string, Time> titled_at_;
  std::pair<Time, Time> key_at_{0, 0};
};

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options) {}

  int run() {
    if (!installed("xvfb-run") || !installed("xdotool")) {
      std::printf("waiting: xvfb-run or xdotool is missing; nothing measured.\n");
      return 0;
    }
    if (!std::filesystem::exists(options_.data + "/Sounds")) {
      std::printf("waiting: no sounds in %s; nothing measured.\n", options_.data.c_str());
      return 0;
    }
    VirtualDisplay display;
    if (!display.ready()) return fail("xvfb-run could not start a display");
    Watcher watcher;
    if (!watcher.ready()) return fail("no connection to the display");
    watcher_ = &watcher;
    std::printf("waiting: %s%s, %d s per screen\n", options_.windows ? "under Wine: " : "",
                options_.game.c_str(), options_.seconds);

    start_game();
    const std::string lang = options_.data + "/lang/EN.lng";
    const Window window =
        watcher.wait_for(file_line(lang, 20), seconds(options_.windows ? 180 : 60));
    if (!window) return fail("no title screen");
    if (!options_.windows) {
      // No window manager gives it the focus, so this program does.
      XSetInputFocus(watcher.x(), window, RevertToParent, CurrentTime);
      XSync(watcher.x(), False);
    }
    if (!measure("title screen", watcher)) return fail("the game ended");

    const std::string main_menu = file_line(options_.data + "/Menu/EN/main.mnu", 1);
    const long title_answer = watcher.answer_time("Return", true, main_menu);
    if (title_answer < 0) return fail("the title screen did not answer Enter");
    std::printf("  key to line: title screen, Enter's release to \"%s\": %ld ms\n",
                main_menu.c_str(), title_answer);
    if (!measure("main menu", watcher)) return fail("the game ended");

    std::vector<long> answers;
    const std::string host = file_line(options_.data + "/Menu/EN/main.mnu", 2);
    const std::string join = file_line(options_.data + "/Menu/EN/main.mnu", 3);
    for (int n = 0; n < options_.presses; ++n) {
      const bool down = n % 2 == 0;
      const long ms = watcher.answer_time(down ? "Down" : "Up", false, down ? join : host);
      if (ms < 0) return fail("the main menu did not answer an arrow");
      answers.push_back(ms);
    }
    std::sort(answers.begin(), answers.end());
    std::printf(
        "  key to line: main menu, arrow press to the item, %zu presses: median %ld ms, "
        "mean %.1f ms, max %ld ms\n",
        answers.size(), answers[answers.size() / 2],
        std::accumulate(answers.begin(), answers.end(), 0.0) / answers.size(), answers.back());

    // Hosting: the port prompt, then the game mode, then the wait.
    const uint16_t port = free_port();
    xdotool("keydown Return sleep 0.1 keyup Return");
    if (!watcher.wait_until([](const std::string& title) { return title.starts_with("Port"); })) {
      return fail("no port prompt");
    }
    const std::string waiting_line = file_line(lang, 4);
    const std::string mode_menu = file_line(options_.data + "/Menu/EN/gamemode.mnu", 1);
    bool hosting = false;
    for (int attempt = 0; attempt < 3 && !hosting; ++attempt) {
      // Wine may give the port dialog the keyboard late: typed again if still up.
      xdotool(
          "sleep 1 key --delay 30 End BackSpace BackSpace BackSpace BackSpace BackSpace "
          "BackSpace BackSpace BackSpace type --delay 30 " +
          std::to_string(port));
      xdotool("keydown Return sleep 0.1 keyup Return");
      hosting = watcher.wait_for(mode_menu, seconds(15)) != 0;
    }
    if (!hosting) return fail("no game mode menu after the port");
    xdotool("sleep 0.5 keydown Return sleep 0.1 keyup Return");
    // The wait is told, or where the game can be reached (which names the port).
    const std::string cannot_open = file_line(lang, 22);
    if (!watcher.wait_until([&](const std::string& title) {
          return title == waiting_line || (title.find(std::to_string(port)) != std::string::npos &&
                                           !title.starts_with(cannot_open));
        })) {
      return fail("not waiting for a guest");
    }
    if (!measure("waiting for a guest", watcher)) return fail("the game ended");

    // A guest that says hello, chooses and is ready, and then never serves.
    const int guest = connect_guest(port);
    if (guest < 0) return fail("the guest could not connect");
    if (!watcher.wait_for(file_line(lang, 6))) return fail("the guest was not verified");
    bool chosen = false;
    for (int attempt = 0; attempt < 10 && !chosen; ++attempt) {
      xdotool("sleep 0.5 keydown Return sleep 0.1 keyup Return");
      chosen = watcher.wait_for(file_line(lang, 7), seconds(2)) != 0;
    }
    if (!chosen) return fail("the character selection never ended");
    const std::string ready = character_message(1) + "$" + std::string(ready_message) + "$";
    ::send(guest, ready.data(), ready.size(), 0);
    const std::string serves[] = {file_line(lang, 14), file_line(lang, 15)};
    if (!watcher.wait_until(
            [&](const std::string& title) { return title == serves[0] || title == serves[1]; })) {
      return fail("play never started");
    }
    const bool measured = measure("match, ball idle", watcher);
    ::close(guest);
    return measured ? 0 : fail("the game ended");
  }

 private:
  int fail(const std::string& why) {
    std::printf("waiting: %s; measuring stopped. Titles:%s\n", why.c_str(),
                watcher_ ? watcher_->titles().c_str() : "");
    if (game_) std::printf("%s", game_->output().c_str());
    return 1;
  }

  void start_game() {
    if (options_.windows) {
      home_.write(".asoundrc", "pcm.!default { type null }\nctl.!default { type hw card 0 }\n");
      prefix_ = std::filesystem::path(options_.game).parent_path().string() + "/wine-prefix-bench";
      game_ = std::make_unique<ChildProcess>(
          options_.data, std::vector<std::string>{"/usr/lib/wine/wine64", options_.game},
          std::vector<std::pair<std::string, std::string>>{{"WINEPREFIX", prefix_},
                                                           {"WINEDEBUG", "-all"},
                                                           {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                                                           {"HOME", home_.path()}});
    } else {
      // No entry dialog on the path: the port is typed into the game's window.
      game_ = std::make_unique<ChildProcess>(
          options_.data, std::vector<std::string>{options_.game, "--no-speech"},
          std::vector<std::pair<std::string, std::string>>{
              {"SDL_AUDIODRIVER", "dummy"}, {"SDL_VIDEODRIVER", "x11"}, {"PATH", home_.path()}});
    }
  }

  // The game's process (under Wine, the one running the executable).
  int game_pid() {
    if (!options_.windows) return game_->exit_code(milliseconds(1)) == -2 ? game_->pid() : 0;
    return find_process(std::filesystem::path(options_.game).filename().string(),
                        "WINEPREFIX=" + prefix_);
  }

  // Lets the screen settle, then prints the share of one core its process and
  // its first thread (the game's loop) used over the stretch.
  bool measure(const std::string& screen, Watcher& watcher) {
    const auto settle = Clock::now() + seconds(1);
    while (Clock::now() < settle) watcher.serve(milliseconds(20));
    const int pid = game_pid();
    const int server = options_.windows ? find_process("wineserver", "WINEPREFIX=" + prefix_) : 0;
    if (pid == 0) return false;
    const std::vector<uint64_t> before = thread_cpu_ns(pid);
    const uint64_t server_before = server ? process_cpu_ns(server) : 0;
    const auto begin = Clock::now();
    const auto end = begin + seconds(options_.seconds);
    while (Clock::now() < end) watcher.serve(milliseconds(50));
    const std::vector<uint64_t> after = thread_cpu_ns(pid);
    const uint64_t server_after = server ? process_cpu_ns(server) : 0;
    const double wall_ns = std::chrono::duration<double, std::nano>(Clock::now() - begin).count();
    if (before.empty() || after.empty()) return false;
    auto share = [&](uint64_t ns) { return 100.0 * static_cast<double>(ns) / wall_ns; };
    const uint64_t all = std::accumulate(after.begin(), after.end(), uint64_t{0}) -
                         std::accumulate(before.begin(), before.end(), uint64_t{0});
    std::printf("  %-20s game %.2f%% of a core (main thread %.2f%%)", screen.c_str(), share(all),
                share(after.front() - before.front()));
    if (server) std::printf(", wineserver %.2f%%", share(server_after - server_before));
    std::printf("; load %s\n", load_average().c_str());
    std::fflush(stdout);
    return true;
  }

  static int connect_guest(uint16_t port) {
    const int guest = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback_address(port);
    if (::connect(guest, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(guest);
      return -1;
    }
    const std::string hello = hello_message(GameSettings{}.handshake_word) + "$";
    ::send(guest, hello.data(), hello.size(), 0);
    return guest;
  }

  Options options_;
  std::string prefix_;
  TempDir home_;
  std::unique_ptr<ChildProcess> game_;
  const Watcher* watcher_ = nullptr;
};

}  // namespace
}  // namespace tornello

int main(int argc, char** argv) {
  tornello::Options options;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string name = argv[k], value = argv[k + 1];
    if (name == "--game") {
      options.game = std::filesystem::absolute(value).string();
    } else if (name == "--windows") {
      options.game = std::filesystem::absolute(value).string();
      options.windows = true;
    } else if (name == "--seconds") {
      options.seconds = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--presses") {
      options.presses = std::max(1, std::atoi(value.c_str()));
    } else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      return 2;
    }
  }
  return tornello::Bench(options).run();
}

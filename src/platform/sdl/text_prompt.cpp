#include "platform/sdl/text_prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tornello {
namespace {

// The dialog shows its prompt through a label that reads "_x" as a keyboard
// shortcut and "\n"-style escapes as control characters; both are doubled so the
// prompt shows as written.
std::string literal_label(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '_' || c == '\\') out += c;
    out += c;
  }
  return out;
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Child side of run_program, between fork and exec: only async-signal-safe calls.
[[noreturn]] void exec_child(const char* path, char* const* argv, int out_fd, int error_fd) {
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    ::dup2(null_fd, STDIN_FILENO);
    ::dup2(null_fd, STDERR_FILENO);
  }
  ::dup2(out_fd, STDOUT_FILENO);
  // The game ignores SIGPIPE; the child starts with the defaults.
  ::signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execv(path, argv);
  const int error = errno;
  [[maybe_unused]] ssize_t ignored = ::write(error_fd, &error, sizeof error);
  ::_exit(127);
}

// True once the program has exited; its status is stored in `result`.
bool reap(pid_t pid, int options, ProgramResult& result) {
  int status = 0;
  pid_t done;
  do {
    done = ::waitpid(pid, &status, options);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return false;
  if (done < 0) {
    result.exit_status = -1;
    return true;
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return true;
}

}  // namespace

std::vector<std::string> zenity_arguments(const std::string& title, const std::string& prompt,
                                          const std::string& default_text) {
  // Values are joined to their options with "=", so a text starting with "-"
  // (a port such as "-7") is never read as an option.
  return {"zenity", "--entry", "--title=" + title, "--text=" + literal_label(prompt),
          "--entry-text=" + default_text};
}

std::optional<std::string> find_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path || name.empty()) return std::nullopt;
  const std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    struct stat info {};
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

ProgramResult run_program(const std::string& path, const std::vector<std::string>& arguments,
                          const std::function<void()>& while_waiting) {
  ProgramResult result;
  // Everything the child needs is made before fork: it may not allocate.
  std::vector<std::string> owned = arguments;
  std::vector<char*> argv;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out_pipe[2];
  int error_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(error_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return result;
  }
  int out_read = out_pipe[0], out_write = out_pipe[1];
  int error_read = error_pipe[0], error_write = error_pipe[1];

  const pid_t pid = ::fork();
  if (pid == 0) exec_child(path.c_str(), argv.data(), out_write, error_write);
  close_fd(out_write);
  close_fd(error_write);
  if (pid < 0) {
    close_fd(out_read);
    close_fd(error_read);
    return result;
  }

  // The error pipe closes on a successful exec and carries errno on a failed one.
  int exec_error = 0;
  ssize_t got;
  do {
    got = ::read(error_read, &exec_error, sizeof exec_error);
  } while (got < 0 && errno == EINTR);
  close_fd(error_read);
  result.started = got <= 0;

  bool exited = false;
  while (out_read >= 0 || !exited) {
    if (out_read >= 0) {
      pollfd watch{out_read, POLLIN, 0};
      if (::poll(&watch, 1, 10) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(out_read, buffer, sizeof buffer);
        if (n > 0) {
          result.output.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          close_fd(out_read);
        }
      } else if (exited) {
        // Whatever the program wrote has been read; a process it left behind
        // may hold the pipe open, and is not waited for.
        close_fd(out_read);
      }
    } else {
      ::usleep(10000);
    }
    if (!exited) exited = reap(pid, WNOHANG, result);
    if (while_waiting) while_waiting();
  }
  if (!result.started) result.exit_status = -1;
  return result;
}

std::string dialog_answer(const ProgramResult& result) {
  if (!result.started || result.exit_status != 0) return "";
  std::string text = result.output;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

WindowPrompt::WindowPrompt(std::string opening_line, std::string default_text, std::string help)
    : last_line_(std::move(opening_line)), text_(std::move(default_text)), help_(std::move(help)) {}

WindowPrompt::State WindowPrompt::handle(const SDL_Event& event, const Announce& tell) {
  if (state_ != State::editing) return state_;
  const Announce announce = [&](const std::string& line) {
    last_line_ = line;
    tell(line);
  };
  if (event.type == SDL_TEXTINPUT) {
    const std::string typed = event.text.text;
    text_ += typed;
    announce(typed);
  } else if (event.type == SDL_KEYDOWN) {
    switch (event.key.keysym.scancode) {
      case SDL_SCANCODE_BACKSPACE:
        if (text_.empty()) break;
        // One character, not one byte: drop UTF-8 continuation bytes with it.
        while (!text_.empty() && (static_cast<unsigned char>(text_.back()) & 0xC0) == 0x80) {
          text_.pop_back();
        }
        if (!text_.empty()) text_.pop_back();
        announce(text_);
        break;
      case SDL_SCANCODE_RETURN:
      case SDL_SCANCODE_KP_ENTER:
        if (!event.key.repeat) state_ = State::confirmed;
        break;
      case SDL_SCANCODE_ESCAPE:
        if (!event.key.repeat) state_ = State::cancelled;
        break;
      case SDL_SCANCODE_F1:
        if (!event.key.repeat) announce(help_);
        break;
      case SDL_SCANCODE_F2:
        if (!event.key.repeat) tell(last_line_);
        break;
      default:
        break;
    }
  }
  return state_;
}

}  // namespace tornello

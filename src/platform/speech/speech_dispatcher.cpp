// speech-dispatcher through its client library, loaded at run time so the game
// runs where it is missing. The library blocks forever on a stuck daemon, so every
// call to it happens on one worker thread that only ever speaks the newest line.
#include <dlfcn.h>
#include <signal.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/speech/speech.h"

namespace tornello {
namespace {

// The few declarations of libspeechd we use; its headers need not be installed.
struct SpdConnection;
constexpr int kSpdModeSingle = 0;
constexpr int kSpdText = 3;  // priority: a newer line of ours interrupts the older one
using SpdOpen2 = SpdConnection* (*)(const char*, const char*, const char*, int, const void*, int,
                                    char**);
using SpdSay = int (*)(SpdConnection*, int, const char*);
using SpdCancel = int (*)(SpdConnection*);
using SpdClose = void (*)(SpdConnection*);

struct SpdLibrary {
  SpdOpen2 open2 = nullptr;
  SpdSay say = nullptr;
  SpdCancel cancel = nullptr;
  SpdClose close = nullptr;
};

std::optional<SpdLibrary> load_library() {
  // The handle is never closed: a worker stuck inside the library may outlive
  // its SpeechOutput, and loading again only raises the reference count.
  void* handle = dlopen("libspeechd.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return std::nullopt;
  SpdLibrary lib;
  lib.open2 = reinterpret_cast<SpdOpen2>(dlsym(handle, "spd_open2"));
  lib.say = reinterpret_cast<SpdSay>(dlsym(handle, "spd_say"));
  lib.cancel = reinterpret_cast<SpdCancel>(dlsym(handle, "spd_cancel"));
  lib.close = reinterpret_cast<SpdClose>(dlsym(handle, "spd_close"));
  if (!lib.open2 || !lib.say || !lib.cancel || !lib.close) return std::nullopt;
  return lib;
}

// What the caller and the worker share. The mutex is never held during a
// library call, so `say` and the destructor never wait on the daemon.
struct Mailbox {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<std::string> line;  // the newest line not yet taken by the worker
  bool line_failed_once = false;    // put back by the worker after meeting a dead connection
  bool stopping = false;
  bool finished = false;
};

class Worker {
 public:
  Worker(SpdLibrary lib, std::shared_ptr<Mailbox> mailbox, const SpeechDispatcherOptions& options)
      : lib_(lib), mailbox_(std::move(mailbox)), options_(options) {}

  void run() {
    // A write to a dead daemon raises SIGPIPE on this thread; blocked here it only
    // makes the write fail, whatever the process does with the signal.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    connect();
    while (std::optional<std::string> line = next_line()) {
      if (!connection_) connect();
      if (!connection_ || speak(*line)) continue;  // without a daemon the line goes unspoken
      // The daemon went away since the last line (or refused this one): the line
      // gets one more try on the next connection, unless a newer one has come.
      hang_up();
      std::lock_guard lock(mailbox_->mutex);
      if (!mailbox_->line && !line_failed_once_) {
        mailbox_->line = std::move(line);
        mailbox_->line_failed_once = true;
      }
    }
    hang_up();
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->finished = true;
    mailbox_->changed.notify_all();
  }

 private:
  // Waits for a line (and, while disconnected, for the next allowed attempt).
  // Empty once the owner has gone.
  std::optional<std::string> next_line() {
    std::unique_lock lock(mailbox_->mutex);
    mailbox_->changed.wait(lock, [&] { return mailbox_->stopping || mailbox_->line; });
    if (!connection_) {
      mailbox_->changed.wait_until(lock, next_attempt_, [&] { return mailbox_->stopping; });
    }
    if (mailbox_->stopping) return std::nullopt;
    line_failed_once_ = std::exchange(mailbox_->line_failed_once, false);
    return std::exchange(mailbox_->line, std::nullopt);
  }

  void connect() {
    next_attempt_ = std::chrono::steady_clock::now() + options_.retry_interval;
    // The error pointer must not be null: the library writes through it on failure.
    char* error = nullptr;
    connection_ = lib_.open2("tornello", "main", nullptr, kSpdModeSingle, nullptr,
                             options_.autospawn, &error);
    if (error) {
      // Told once: a missing daemon is no fault of the game, but worth knowing.
      std::string message(error);
      while (!message.empty() && message.back() == '\n') message.pop_back();
      if (!error_reported_) std::fprintf(stderr, "tornello: no speech: %s\n", message.c_str());
      error_reported_ = true;
      std::free(error);
    }
  }

  void hang_up() {
    if (connection_) lib_.close(connection_);
    connection_ = nullptr;
  }

  bool speak(const std::string& line) {
    if (lib_.cancel(connection_) != 0) return false;
    return line.empty() || lib_.say(connection_, kSpdText, speech_text(line).c_str()) >= 0;
  }

  SpdLibrary lib_;
  std::shared_ptr<Mailbox> mailbox_;
  SpeechDispatcherOptions options_;
  SpdConnection* connection_ = nullptr;
  std::chrono::steady_clock::time_point next_attempt_;
  bool line_failed_once_ = false;  // about the line being spoken
  bool error_reported_ = false;
};

class DispatcherSpeech : public SpeechOutput {
 public:
  DispatcherSpeech(SpdLibrary lib, const SpeechDispatcherOptions& options)
      : mailbox_(std::make_shared<Mailbox>()),
        thread_([worker = Worker(lib, mailbox_, options)]() mutable { worker.run(); }) {}

  // Gives the worker a moment to hang up cleanly. One stuck in a call to the
  // daemon is left behind, detached: it holds its own share of the mailbox and
  // ends on its own should the call ever return.
  ~DispatcherSpeech() override {
    std::unique_lock lock(mailbox_->mutex);
    mailbox_->stopping = true;
    mailbox_->changed.notify_all();
    const bool finished = mailbox_->changed.wait_for(lock, std::chrono::milliseconds(300),
                                                     [&] { return mailbox_->finished; });
    lock.unlock();
    if (finished) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }

  void say(const std::string& line) override {
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->line = line;
    mailbox_->line_failed_once = false;
    mailbox_->changed.notify_all();
  }

 private:
  std::shared_ptr<Mailbox> mailbox_;
  std::thread thread_;
};

bool is_utf8(const std::string& text) {
  static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};  // no overlong forms
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t more = lead < 0x80       ? 0
                        : lead >> 5 == 6  ? 1
                        : lead >> 4 == 14 ? 2
                        : lead >> 3 == 30 ? 3
                                          : 4;
    if (more == 4 || text.size() - i <= more) return false;
    uint32_t code = more == 0 ? lead : lead & (0x3F >> more);
    for (size_t k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += more + 1;
  }
  return true;
}

}  // namespace

std::string speech_text(const std::string& line) {
  if (is_utf8(line)) return line;
  std::string text;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | byte >> 6);
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

std::unique_ptr<SpeechOutput> open_speech_dispatcher(const SpeechDispatcherOptions& options) {
  std::optional<SpdLibrary> lib = load_library();
  if (!lib) return nullptr;
  return std::make_unique<DispatcherSpeech>(*lib, options);
}

std::unique_ptr<SpeechOutput> open_speech_dispatcher() {
  return open_speech_dispatcher({});
}

}  // namespace tornello

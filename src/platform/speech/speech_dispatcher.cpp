// speech-dispatcher through its client library, loaded at run time so the game
// runs where it is missing. The library blocks forever on a stuck daemon, so every
// call to it happens on one worker thread. The worker hands the daemon one line at
// a time: an answer to a key cancels what is being said, news waits for the
// daemon's word that the line before it has ended.
#include <dlfcn.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/speech/speech.h"

namespace tornello {
namespace {

using Clock = std::chrono::steady_clock;

// The few declarations of libspeechd we use; its headers need not be installed.
struct SpdConnection;
using SpdEvent = void (*)(size_t message, size_t client, int event);
// Every release of the library begins its connection record with these
// callbacks, called on the library's own thread; nothing else in it is touched.
struct SpdCallbacks {
  SpdEvent begin;
  SpdEvent end;
  SpdEvent cancel;
};
constexpr int kSpdModeThreaded = 1;  // a thread of the library's reads the daemon's events
constexpr int kSpdMessage = 2;  // news: never cut off by a later line, ours or another program's
constexpr int kSpdText = 3;     // an answer: what it follows was cancelled just before
constexpr int kSpdEnd = 2;      // notifications: a message spoken to its end
constexpr int kSpdCancel = 8;   // ... or cut off
using SpdOpen2 = SpdConnection* (*)(const char*, const char*, const char*, int, const void*, int,
                                    char**);
using SpdSay = int (*)(SpdConnection*, int, const char*);
using SpdCancel = int (*)(SpdConnection*);
using SpdClose = void (*)(SpdConnection*);
using SpdSetNotificationOn = int (*)(SpdConnection*, int);
using SpdSetLanguage = int (*)(SpdConnection*, const char*);

struct SpdLibrary {
  SpdOpen2 open2 = nullptr;
  SpdSay say = nullptr;
  SpdCancel cancel = nullptr;
  SpdClose close = nullptr;
  SpdSetNotificationOn notify = nullptr;
  SpdSetLanguage language = nullptr;
};

template <typename Function>
void find(void* handle, Function& function, const char* name) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
}

std::optional<SpdLibrary> load_library() {
  // The handle is never closed: a worker stuck inside the library may outlive
  // its SpeechOutput, and loading again only raises the reference count.
  void* handle = dlopen("libspeechd.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!handle) return std::nullopt;
  SpdLibrary lib;
  find(handle, lib.open2, "spd_open2");
  find(handle, lib.say, "spd_say");
  find(handle, lib.cancel, "spd_cancel");
  find(handle, lib.close, "spd_close");
  find(handle, lib.notify, "spd_set_notification_on");
  find(handle, lib.language, "spd_set_language");
  if (!lib.open2 || !lib.say || !lib.cancel || !lib.close || !lib.notify || !lib.language) {
    return std::nullopt;
  }
  return lib;
}

// Longest a line is taken to be still speaking when the daemon never says it
// ended (a lost notification must not hold every later line back for good).
Clock::duration longest_speaking(const std::string& line) {
  return std::chrono::seconds(5) + std::chrono::milliseconds(200) * line.size();
}

struct Job {
  std::string text;
  LineKind kind = LineKind::news;
  bool retried = false;  // it met a dead connection once already
};

// What the caller, the worker and the daemon's notifications share. The mutex is
// never held during a library call, so `say` and `finish` never wait on the daemon.
struct Mailbox {
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<std::string> answer;    // the newest answer not yet taken by the worker
  std::deque<std::string> waiting;      // news not yet taken, oldest first
  std::optional<std::string> language;  // to be set before the next line
  bool busy = true;                     // connecting, or handing a line over
  bool connected = false;
  int speaking = 0;  // the daemon's number of the line being spoken; 0 none, -1 not yet known
  std::vector<int> ended_early;  // lines that ended while `speaking` was -1
  Clock::time_point speaking_until;
  bool stopping = false;
  bool finished = false;

  // Nothing more will be spoken, or nothing more can be.
  bool idle() const {
    return !busy && (!connected || (!answer && waiting.empty() && speaking == 0));
  }
};

// The daemon's notifications carry no pointer of ours, only the message's
// number, so every worker lists its mailbox here and each notification goes to
// the one waiting for that number. The only state shared by the whole process,
// forced by the library's callbacks.
struct Listeners {
  std::mutex mutex;
  std::vector<Mailbox*> mailboxes;
};

Listeners& listeners() {
  static Listeners list;
  return list;
}

void line_ended(size_t message, size_t, int) {
  const int number = static_cast<int>(message);
  Listeners& list = listeners();
  std::lock_guard hold(list.mutex);
  for (Mailbox* mailbox : list.mailboxes) {
    std::lock_guard lock(mailbox->mutex);
    if (mailbox->speaking == number) {
      mailbox->speaking = 0;
      mailbox->changed.notify_all();
    } else if (mailbox->speaking == -1) {
      mailbox->ended_early.push_back(number);
    }
  }
}

class Worker {
 public:
  Worker(SpdLibrary lib, std::shared_ptr<Mailbox> mailbox, const SpeechDispatcherOptions& options)
      : lib_(lib), mailbox_(std::move(mailbox)), options_(options) {}

  void run() {
    // A write to a dead daemon raises SIGPIPE on this thread (and the library's
    // thread, which inherits the mask); blocked here it only makes the write fail.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    {
      std::lock_guard lock(listeners().mutex);
      listeners().mailboxes.push_back(mailbox_.get());
    }

    connect();
    while (std::optional<Job> job = next_job()) {
      if (!connection_) connect();
      if (!connection_ || speak(*job)) continue;  // without a daemon the line goes unspoken
      // The daemon went away since the last line (or refused this one): the line
      // gets one more try on the next connection, unless a newer answer has come.
      hang_up();
      if (!job->retried) {
        job->retried = true;
        retry_ = std::move(job);
      }
    }
    hang_up();
    {
      std::lock_guard lock(listeners().mutex);
      std::erase(listeners().mailboxes, mailbox_.get());
    }
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->finished = true;
    mailbox_->changed.notify_all();
  }

 private:
  // Waits for a line that may be spoken now: an answer at once, news once the
  // line before it has ended (and, while disconnected, once another attempt is
  // allowed). Empty once the owner has gone.
  std::optional<Job> next_job() {
    Mailbox& box = *mailbox_;
    std::unique_lock lock(box.mutex);
    box.busy = false;
    box.changed.notify_all();
    for (;;) {
      if (box.stopping) return std::nullopt;
      if (box.speaking != 0 && Clock::now() >= box.speaking_until) box.speaking = 0;
      const bool answer = box.answer || (retry_ && retry_->kind == LineKind::answer);
      const bool news = !box.waiting.empty() || retry_;
      if (answer || (news && box.speaking == 0)) {
        if (connection_ || Clock::now() >= next_attempt_) break;
        box.changed.wait_until(lock, next_attempt_);
      } else if (box.speaking != 0) {
        box.changed.wait_until(lock, box.speaking_until);
      } else {
        box.changed.notify_all();  // finish() may be waiting for this
        box.changed.wait(lock);
      }
    }
    Job job;
    if (box.answer) {
      job = {*std::exchange(box.answer, std::nullopt), LineKind::answer};
      retry_.reset();
    } else if (retry_) {
      job = *std::exchange(retry_, std::nullopt);
    } else {
      job = {std::move(box.waiting.front()), LineKind::news};
      box.waiting.pop_front();
    }
    box.busy = true;
    return job;
  }

  void connect() {
    next_attempt_ = Clock::now() + options_.retry_interval;
    // The error pointer must not be null: the library writes through it on failure.
    char* error = nullptr;
    connection_ = lib_.open2("tornello", "main", nullptr, kSpdModeThreaded, nullptr,
                             options_.autospawn, &error);
    if (error) {
      // Told once: a missing daemon is no fault of the game, but worth knowing.
      std::string message(error);
      while (!message.empty() && message.back() == '\n') message.pop_back();
      if (!error_reported_) std::fprintf(stderr, "tornello: no speech: %s\n", message.c_str());
      error_reported_ = true;
      std::free(error);
    }
    if (connection_) {
      auto* callbacks = reinterpret_cast<SpdCallbacks*>(connection_);
      callbacks->end = line_ended;
      callbacks->cancel = line_ended;
      // A daemon that cannot tell when a line ends still queues our news in order
      // by its priority; the lines just cannot be counted.
      notified_ = lib_.notify(connection_, kSpdEnd | kSpdCancel) == 0;
      if (!language_.empty()) lib_.language(connection_, language_.c_str());
    }
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->connected = connection_ != nullptr;
  }

  void hang_up() {
    if (connection_) lib_.close(connection_);
    connection_ = nullptr;
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->connected = false;
    mailbox_->speaking = 0;
  }

  bool speak(const Job& job) {
    if (std::optional<std::string> language = take_language()) {
      language_ = *language;
      lib_.language(connection_, language_.c_str());
    }
    if (job.kind == LineKind::answer && lib_.cancel(connection_) != 0) return false;
    if (job.text.empty()) return true;  // an empty answer only silences
    {
      std::lock_guard lock(mailbox_->mutex);
      mailbox_->speaking = -1;
      mailbox_->ended_early.clear();
    }
    const int number = lib_.say(connection_, job.kind == LineKind::answer ? kSpdText : kSpdMessage,
                                speech_text(job.text).c_str());
    std::lock_guard lock(mailbox_->mutex);
    Mailbox& box = *mailbox_;
    const bool ended =
        std::find(box.ended_early.begin(), box.ended_early.end(), number) != box.ended_early.end();
    box.speaking = notified_ && number > 0 && !ended ? number : 0;
    box.speaking_until = Clock::now() + longest_speaking(job.text);
    return number >= 0;
  }

  std::optional<std::string> take_language() {
    std::lock_guard lock(mailbox_->mutex);
    return std::exchange(mailbox_->language, std::nullopt);
  }

  SpdLibrary lib_;
  std::shared_ptr<Mailbox> mailbox_;
  SpeechDispatcherOptions options_;
  SpdConnection* connection_ = nullptr;
  bool notified_ = false;  // the daemon tells when each line ends
  std::string language_;   // the daemon's code of the language set last
  std::optional<Job> retry_;
  Clock::time_point next_attempt_;
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

  void say(const std::string& line, LineKind kind) override {
    std::lock_guard lock(mailbox_->mutex);
    if (kind == LineKind::answer) {
      mailbox_->answer = line;
      mailbox_->waiting.clear();
    } else {
      mailbox_->waiting.push_back(line);
      if (mailbox_->waiting.size() > max_waiting) mailbox_->waiting.pop_front();
    }
    mailbox_->changed.notify_all();
  }

  void set_language(const std::string& code) override {
    std::string lower = code;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::lock_guard lock(mailbox_->mutex);
    mailbox_->language = lower;
  }

  void finish(std::chrono::milliseconds limit) override {
    std::unique_lock lock(mailbox_->mutex);
    mailbox_->changed.wait_for(lock, limit, [&] { return mailbox_->idle(); });
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

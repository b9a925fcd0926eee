#include "assets/speech.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "assets/recipes.h"
#include "assets/wav.h"

extern char** environ;

namespace tornello::assets {

namespace {

const Speaker announcer{"en-gb-x-rp+announcer", 45, 150};
// The score is called as a chain that moves on every half second, so its words
// are said briskly enough to finish inside that time.
const Speaker score_caller{"en-gb-x-rp+announcer", 45, 320};

struct Character {
  Speaker speaker;
  std::string introduction;  // what the selection screen says about them
  std::string intro, name, win, lose;
  std::string score[5];
  std::string opscore[5];
};

const Character characters[5] = {
    {{"en-us+m3", 60, 195},
     "Blaze. The hot-headed show-off.",
     "Blaze is in the house! Hope you brought a fire extinguisher.",
     "Blaze! Let's light it up!",
     "Ha! Nobody beats Blaze! Nobody!",
     "This isn't over! I want a rematch!",
     {"Too hot to handle!", "Boom! Did you even see that?", "That's how it's done, baby!",
      "Feel the burn!", "Another one! I'm on fire!"},
     {"What? No way! Lucky shot!", "Ugh! That one doesn't count!", "Fine. Enjoy it while it lasts.",
      "Hey! I wasn't ready!", "Grr. Now you've made me angry."}},
    {{"en-gb-x-rp+m1", 28, 140},
     "Professor Quill. The pompous genius.",
     "Professor Quill, at your service. Do try to keep up.",
     "Professor Quill. Prepare to be educated.",
     "Class dismissed. The lesson is over.",
     "Impossible! I demand a recount!",
     {"Elementary.", "Precisely as calculated.", "A textbook example of topspin.",
      "Do take notes, my dear opponent.", "Physics never fails me."},
     {"Hmm. A statistical anomaly.", "Most irregular.", "I shall revise my hypothesis.",
      "A fluke, I assure you.", "Well, well. Beginner's luck."}},
    {{"en-us+f2", 72, 180},
     "Nova. The cheerful rising star.",
     "Hi hi! Nova here! This is going to be so much fun!",
     "Nova! Let's go, go, go!",
     "I won? I won! Best day ever!",
     "Aw, shucks. Good game, though!",
     {"Yay! Point for me!", "Woohoo! Did you see that?", "Oh, that felt amazing!", "Sparkle shot!",
      "Yes! I'm shining today!"},
     {"Oh no! Nice one, though!", "Oopsie. I'll get the next one!", "Wow, you're good!",
      "Hey, no fair, that was sneaky!", "Okay, okay. Focus, Nova!"}},
    {{"en-gb-scotland+grandpa", 30, 125},
     "Grandpa Gus. The grumpy old master.",
     "Gus is here. I've been playing this game since before you were born.",
     "Grandpa Gus. Mind your manners.",
     "Told you. Experience wins every time.",
     "Bah. I let you win. Now, where's my tea?",
     {"Still got it!", "Old age and treachery, sonny.", "Back in my day, we called that a warm-up.",
      "Heh heh. Didn't see that coming, did you?", "Not bad for an old-timer!"},
     {"Bah! My knees gave out.", "Hmph. Kids these days.", "Now where are my glasses?",
      "In my day, that was against the rules!", "Don't get cocky, whippersnapper."}},
    {{"en-us+robosoft4", 40, 150, true},
     "Unit Seven. The tireless robot.",
     "Unit Seven online. Scanning opponent. Threat level: low.",
     "Unit Seven. Activated.",
     "Match complete. Humans: defeated.",
     "Critical failure. Shutting down. Sad beep.",
     {"Point acquired.", "Calculation correct. Beep boop.", "Your defences are inadequate.",
      "Executing victory protocol.", "Efficiency: one hundred percent."},
     {"Error. Error. Does not compute.", "Recalibrating.", "Unexpected result logged.",
      "Warning: human skill detected.", "System glitch. Rebooting pride module."}},
};

// Runs `argv` with its output discarded; the exit status, or -1 with `error` set.
int run(const std::vector<std::string>& argv, std::string& error) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    error = std::strerror(failed);
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = std::strerror(errno);
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

// A robot's voice: the speech ring-modulated and sent through a short metallic echo.
void make_robotic(Sound& sound) {
  std::vector<float> echo(frames_for(0.008), 0.0f);
  size_t index = 0;
  for (size_t frame = 0; frame < sound.frames(); ++frame) {
    const double t = static_cast<double>(frame) / sample_rate;
    const float dry = sound.samples[frame];
    const float ring = static_cast<float>(dry * std::sin(2.0 * pi * 55.0 * t));
    const float mixed = 0.6f * dry + 0.5f * ring;
    const float out = mixed + 0.5f * echo[index];
    echo[index] = out;
    index = (index + 1) % echo.size();
    sound.samples[frame] = out;
  }
}

}  // namespace

std::vector<SpeechLine> speech_lines() {
  std::vector<SpeechLine> lines;
  const std::string announcer_dir = "Sounds/announcer/";
  lines.push_back({announcer_dir + "gamestart.wav", announcer, "Let the game begin!"});
  const char* exclamations[5] = {"What a shot!", "Point!", "Unstoppable!", "Right past them!",
                                 "Brilliant!"};
  for (int k = 0; k < 5; ++k) {
    lines.push_back(
        {announcer_dir + "score" + std::to_string(k + 1) + ".wav", announcer, exclamations[k]});
  }
  lines.push_back({announcer_dir + "scores.wav", score_caller, "Score"});
  for (int n = 0; n <= 21; ++n) {
    lines.push_back({announcer_dir + std::to_string(n) + ".wav", score_caller, std::to_string(n)});
  }
  lines.push_back({announcer_dir + "youwin.wav", announcer, "You win the match!"});
  lines.push_back({announcer_dir + "theywin.wav", announcer, "Your opponent wins the match!"});

  lines.push_back({"Sounds/charselect/0.wav", announcer,
                   "Choose your character. Left and right arrows to listen, Enter to confirm."});
  for (int n = 1; n <= 5; ++n) {
    const Character& c = characters[n - 1];
    const std::string dir = "Sounds/chars/" + std::to_string(n) + "/";
    lines.push_back({"Sounds/charselect/" + std::to_string(n) + ".wav", c.speaker, c.introduction});
    lines.push_back({dir + "intro.wav", c.speaker, c.intro});
    lines.push_back({dir + "name.wav", c.speaker, c.name});
    lines.push_back({dir + "win.wav", c.speaker, c.win});
    lines.push_back({dir + "lose.wav", c.speaker, c.lose});
    for (int k = 0; k < 5; ++k) {
      const std::string number = std::to_string(k + 1);
      lines.push_back({dir + "score" + number + ".wav", c.speaker, c.score[k]});
      lines.push_back({dir + "opscore" + number + ".wav", c.speaker, c.opscore[k]});
    }
  }
  return lines;
}

std::optional<std::string> check_speech_program(const std::string& program) {
  std::string error;
  const int status = run({program, "--version"}, error);
  if (status == 0) return std::nullopt;
  std::string why = status < 0 ? error : "it exited with status " + std::to_string(status);
  return "cannot run " + program + " (" + why +
         "). The spoken sounds are made with espeak-ng: install the Debian package espeak-ng "
         "(sudo apt-get install espeak-ng, or scripts/install-deps) and generate again.";
}

std::optional<Sound> synthesise_speech(const std::string& program, const SpeechLine& line,
                                       const std::string& scratch_wav, std::string& error) {
  const Speaker& s = line.speaker;
  std::string why;
  const int status = run({program, "-v", s.voice, "-p", std::to_string(s.pitch), "-s",
                          std::to_string(s.speed), "-w", scratch_wav, line.text},
                         why);
  if (status != 0) {
    error = line.path + ": " + program + " failed (" +
            (status < 0 ? why : "status " + std::to_string(status)) + ")";
    return std::nullopt;
  }
  int rate = 0;
  auto raw = read_wav_file(scratch_wav, rate);
  ::unlink(scratch_wav.c_str());
  if (!raw || raw->frames() == 0) {
    error = line.path + ": " + program + " wrote no usable sound";
    return std::nullopt;
  }
  Sound sound = resample(to_mono(*raw), rate);
  trim(sound, 0.01f * peak(sound), 0.01);  // espeak-ng pads with silence; keep the rhythm tight
  if (s.robotic) make_robotic(sound);
  return finish_one_shot(std::move(sound));
}

}  // namespace tornello::assets

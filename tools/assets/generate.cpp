#include "assets/generate.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

#include "assets/mix.h"
#include "assets/recipes.h"
#include "assets/speech.h"
#include "assets/wav.h"

namespace tornello::assets {

namespace fs = std::filesystem;

namespace {

struct Job {
  std::string path;
  std::optional<Recipe> recipe;
  std::optional<SpeechLine> line;
};

// Longest work first, so both cores stay busy to the end.
std::vector<Job> all_jobs() {
  std::vector<Job> jobs;
  for (auto recipes : {music_recipes(), crowd_recipes()}) {
    for (Recipe& r : recipes) jobs.push_back({r.path, std::move(r), std::nullopt});
  }
  for (SpeechLine& line : speech_lines())
    jobs.push_back({line.path, std::nullopt, std::move(line)});
  for (Recipe& r : effect_recipes()) jobs.push_back({r.path, std::move(r), std::nullopt});
  return jobs;
}

// A private folder for espeak-ng's output, removed when done.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "tornello-speech-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Removes files below Sounds/ that are not in `keep` (left over from older trees).
void remove_stale(const fs::path& data_dir, const std::set<std::string>& keep) {
  std::error_code error;
  const fs::path sounds = data_dir / "Sounds";
  std::vector<fs::path> stale;
  for (fs::recursive_directory_iterator it(sounds, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file()) continue;
    const std::string relative = fs::relative(it->path(), data_dir, error).generic_string();
    if (!keep.count(relative)) stale.push_back(it->path());
  }
  for (const fs::path& path : stale) fs::remove(path, error);
}

}  // namespace

std::vector<std::string> generated_paths() {
  std::vector<std::string> paths;
  for (const Job& job : all_jobs()) paths.push_back(job.path);
  return paths;
}

GenerateReport generate_sound_tree(const GenerateOptions& options) {
  GenerateReport report;
  std::vector<Job> jobs = all_jobs();
  if (options.only) {
    std::erase_if(jobs, [&](const Job& job) { return !options.only(job.path); });
  }
  const bool speaks =
      std::any_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.line.has_value(); });
  if (speaks) {
    if (auto problem = check_speech_program(options.speech_program)) {
      report.errors.push_back(*problem);
      return report;
    }
  }
  const fs::path data_dir(options.data_dir);
  for (const Job& job : jobs) {
    std::error_code error;
    fs::create_directories((data_dir / job.path).parent_path(), error);
    if (error) {
      report.errors.push_back("cannot create the folder for " + job.path + ": " + error.message());
      return report;
    }
  }
  ScratchDir scratch;
  if (speaks && scratch.path().empty()) {
    report.errors.push_back("cannot create a scratch folder under " +
                            fs::temp_directory_path().string());
    return report;
  }

  std::vector<std::string> errors(jobs.size());
  std::vector<uint64_t> sizes(jobs.size(), 0);
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t index = next++; index < jobs.size(); index = next++) {
      const Job& job = jobs[index];
      std::optional<Sound> sound;
      if (job.recipe) {
        Rng rng(seed_from(job.path));
        sound = job.recipe->make(rng);
      } else {
        const std::string scratch_wav = scratch.path() + "/" + std::to_string(index) + ".wav";
        sound = synthesise_speech(options.speech_program, *job.line, scratch_wav, errors[index]);
      }
      if (!sound) continue;
      level_to_role(*sound, role_of(job.path));
      const std::string target = (data_dir / job.path).string();
      if (auto problem = write_wav(target, *sound)) {
        errors[index] = *problem;
        continue;
      }
      sizes[index] = 44 + sound->samples.size() * 2;
    }
  };
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t count = std::min<size_t>(options.threads > 0 ? options.threads : cores, jobs.size());
  std::vector<std::thread> threads;
  for (size_t k = 1; k < count; ++k) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();

  for (size_t index = 0; index < jobs.size(); ++index) {
    if (!errors[index].empty()) report.errors.push_back(errors[index]);
    if (sizes[index] > 0) {
      ++report.files;
      report.bytes += sizes[index];
    }
  }
  if (!options.only && report.ok()) {
    std::set<std::string> keep;
    for (const Job& job : jobs) keep.insert(job.path);
    remove_stale(data_dir, keep);
  }
  return report;
}

}  // namespace tornello::assets

// "Learn the sounds": every item named, and played as the match plays it: the
// same sound, at the level and pan the match gives it in that moment.
#include "session/learn_sounds.h"

#include "match/match_fixture.h"
#include "shell/text_entries.h"

namespace tornello {
namespace {

constexpr int lessons = entry::sound_crowd_bonus - entry::sound_ball_straight + 1;

// A sound as the player first hears it in a lesson: its level and pan when it
// starts, or, for a roll started silent, once it is placed.
struct FirstHeard {
  int lesson;  // from 0, in menu order
  SoundHandle SoundBank::*sound;
  int32_t volume;
  int32_t pan;
};

class LearnSoundsTest : public MatchTest {
 protected:
  LearnSoundsTest() {
    for (int n = 1; n <= entry::last; ++n) game->language.entries[n] = builtin_english(n);
  }

  // The events of lesson `n` (from 0): from its Enter to the next lesson's.
  std::vector<SoundEvent> lesson(int n) const {
    const auto& events = log.events();
    const size_t to = n + 1 < static_cast<int>(starts.size()) ? starts[n + 1] : events.size();
    return {events.begin() + static_cast<ptrdiff_t>(starts[n]),
            events.begin() + static_cast<ptrdiff_t>(to)};
  }

  // The first event of `kind` on `sound`, after the first play of it when asked.
  static std::optional<SoundEvent> first(const std::vector<SoundEvent>& events, SoundHandle sound,
                                         SoundEventKind kind, bool after_play = false) {
    bool played = !after_play;
    for (const SoundEvent& event : events) {
      if (event.handle != sound) continue;
      if (played && event.kind == kind) return event;
      played = played || event.kind == SoundEventKind::play;
    }
    return std::nullopt;
  }

  std::vector<size_t> starts;  // where each lesson's events begin in the log
};

TEST_F(LearnSoundsTest, EachItemIsNamedAndPlaysItsSoundAtTheMatchsLevelAndPan) {
  const SoundBank& bank = game->bank;
  hold({key::f1});
  idle();
  for (int n = 0; n < lessons; ++n) {
    then([this] { starts.push_back(log.events().size()); });
    press(key::enter);
    // The ball on the left is cut short by moving on; every other lesson ends first.
    idle(n == 1 ? 50 : 400);
    press(key::down);
  }
  press(key::enter);  // on "Back"
  EXPECT_EQ(learn_sounds(*game), Next::main_menu);
  press(key::escape);
  EXPECT_EQ(learn_sounds(*game), Next::main_menu) << "Escape leaves as Back does";

  // Named as the language has them, after the title and the keys.
  std::vector<std::string> expected = {
      text(*game, entry::learn_sounds),
      text(*game, entry::help_learn_sounds) + " " + text(*game, entry::help_common)};
  for (int lesson = entry::sound_ball_straight + 1; lesson <= entry::sound_crowd_bonus; ++lesson) {
    expected.push_back(text(*game, lesson));
  }
  expected.push_back(text(*game, entry::back));
  expected.push_back(text(*game, entry::learn_sounds));
  EXPECT_EQ(platform.titles(), expected);

  ASSERT_EQ(starts.size(), static_cast<size_t>(lessons));
  const FirstHeard sounds[] = {
      {0, &SoundBank::rolling, 20, 0},              // from the far end, straight ahead
      {1, &SoundBank::rolling, 20, -30},            // on the left
      {2, &SoundBank::rolling, 20, 30},             // on the right
      {3, &SoundBank::rolling, 76, 0},              // close, from the line where it can be struck
      {4, &SoundBank::ball_border, 60, -45},        // the left side, halfway along the table
      {5, &SoundBank::hit, 100, 0},                 // the own stroke
      {6, &SoundBank::hit, 20, 0},                  // the opponent's, at the far end
      {7, &SoundBank::own_move, 100, 0},            // the own sounds are never placed
      {8, &SoundBank::own_border, 100, 0},          //
      {9, &SoundBank::own_shield_on, 100, 0},       //
      {9, &SoundBank::own_shield_loop, 100, 0},     //
      {10, &SoundBank::own_shield_hit, 100, 0},     //
      {11, &SoundBank::own_shield_off, 100, 0},     //
      {12, &SoundBank::opponent_shield_on, 30, 0},  // the opponent's shield is faint
      {12, &SoundBank::opponent_shield_loop, 30, 0},
      {13, &SoundBank::opponent_shield_hit, 30, 0},
      {14, &SoundBank::disappear, 100, 0},
      {15, &SoundBank::appear, 100, 0},
      {18, &SoundBank::crowd_chant, 10, 0},  // a rally starts the chant quietly
  };
  for (const FirstHeard& heard : sounds) {
    SCOPED_TRACE("lesson " + std::to_string(heard.lesson + 1));
    const std::vector<SoundEvent> events = lesson(heard.lesson);
    const SoundHandle sound = bank.*heard.sound;
    std::optional<SoundEvent> play = first(events, sound, SoundEventKind::play);
    ASSERT_TRUE(play && play->live);
    // Started silent, as a struck ball is: heard from its first placement.
    if (play->volume == 0) play = first(events, sound, SoundEventKind::pan, true);
    ASSERT_TRUE(play);
    EXPECT_EQ(play->volume, heard.volume);
    EXPECT_EQ(play->pan, heard.pan);
  }

  // A ball comes all the way in and is stopped where a point would be decided;
  // one cut short stops at once. Loops stop when their lesson ends.
  for (int n : {0, 1, 9, 12, 18}) {
    const SoundHandle sound = n < 2     ? bank.rolling
                              : n == 9  ? bank.own_shield_loop
                              : n == 12 ? bank.opponent_shield_loop
                                        : bank.crowd_chant;
    EXPECT_TRUE(first(lesson(n), sound, SoundEventKind::stop)) << "lesson " << n + 1;
    EXPECT_TRUE(first(lesson(n), sound, SoundEventKind::play).value_or(SoundEvent{}).looped)
        << "lesson " << n + 1;
  }
  // A point: a goal sound, then the crowd cheers (won) or groans (lost); a
  // rally's chant grows until the crowd shouts; a bonus makes it gasp.
  const auto plays_of = [&](int n) {
    std::vector<SoundHandle> played;
    for (const SoundEvent& e : lesson(n)) {
      if (e.kind == SoundEventKind::play && e.live) played.push_back(e.handle);
    }
    return played;
  };
  const auto one_of = [](SoundHandle sound, auto&& set) {
    return std::find(std::begin(set) + 1, std::end(set), sound) != std::end(set);
  };
  const std::vector<SoundHandle> won = plays_of(16);
  const std::vector<SoundHandle> lost = plays_of(17);
  ASSERT_EQ(won.size(), 2u);
  ASSERT_EQ(lost.size(), 2u);
  EXPECT_TRUE(one_of(won[0], bank.goals) && one_of(won[1], bank.crowd_cheers));
  EXPECT_TRUE(one_of(lost[0], bank.goals) && one_of(lost[1], bank.crowd_epic_fails));
  EXPECT_GE(log.last(bank.crowd_chant, SoundEventKind::volume).value_or(SoundEvent{}).volume, 45);
  const std::vector<SoundHandle> rally = plays_of(18);
  const std::vector<SoundHandle> bonus = plays_of(19);
  EXPECT_TRUE(!rally.empty() && one_of(rally.back(), bank.crowd_ok));
  EXPECT_TRUE(!bonus.empty() && one_of(bonus.front(), bank.crowd_oh));
}

}  // namespace
}  // namespace tornello

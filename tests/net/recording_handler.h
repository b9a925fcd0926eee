// Shared by the network tests and the receive fuzz target.
#pragma once

#include <string>
#include <vector>

#include "net/protocol.h"

namespace tornello {

// Writes each message down as its code and value, e.g. "P5", "BE", "S1".
class RecordingHandler : public MessageHandler {
 public:
  std::vector<std::string> seen;

  void on_ready() override { seen.push_back("R"); }
  void on_character(int32_t n) override { note("V", n); }
  void on_start(int64_t s) override { note("S", s); }
  void on_paddle(int64_t p) override { note("P", p); }
  void on_ball_direction(int32_t d) override { note("BD", d); }
  void on_ball_speed_y(int64_t s) override { note("BS", s); }
  void on_ball_speed_x(int64_t q) override { note("BQ", q); }
  void on_ball_hidden() override { seen.push_back("XD"); }
  void on_shield_raised() override { seen.push_back("XS"); }
  void on_shield_return() override { seen.push_back("XASR"); }
  void on_point_won() override { seen.push_back("G"); }
  void on_ball_struck() override { seen.push_back("BE"); }
  void on_goodbye() override { seen.push_back("BYE"); }
  void on_match_over() override { seen.push_back("D"); }

 private:
  void note(const char* code, int64_t value) { seen.push_back(code + std::to_string(value)); }
};

}  // namespace tornello

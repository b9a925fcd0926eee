// The receive path under any bytes, cut into reads as the first byte says (0:
// whole reads of the receive buffer's size), and parse_int on any text.
#include <vector>

#include "fuzz_support.h"
#include "net/parse_int.h"
#include "net/protocol.h"

namespace tornello {
namespace {

class Recorder : public MessageHandler {
 public:
  std::vector<std::pair<int, int64_t>> seen;

  void on_ready() override { seen.emplace_back(0, 0); }
  void on_character(int32_t n) override { seen.emplace_back(1, n); }
  void on_start(int64_t s) override { seen.emplace_back(2, s); }
  void on_paddle(int64_t p) override { seen.emplace_back(3, p); }
  void on_ball_direction(int32_t d) override { seen.emplace_back(4, d); }
  void on_ball_speed_y(int64_t s) override { seen.emplace_back(5, s); }
  void on_ball_speed_x(int64_t q) override { seen.emplace_back(6, q); }
  void on_ball_hidden() override { seen.emplace_back(7, 0); }
  void on_shield_raised() override { seen.emplace_back(8, 0); }
  void on_shield_return() override { seen.emplace_back(9, 0); }
  void on_point_won() override { seen.emplace_back(10, 0); }
  void on_ball_struck() override { seen.emplace_back(11, 0); }
  void on_goodbye() override { seen.emplace_back(12, 0); }
  void on_match_over() override { seen.emplace_back(13, 0); }
};

using fuzz::check;

// Feeds the stream as reads of the given widths and returns what was applied.
std::vector<std::pair<int, int64_t>> feed_reads(const std::string& stream, uint8_t cut_seed) {
  NetState net;
  Recorder recorder;
  size_t read = 0;
  for (size_t at = 0; at < stream.size(); ++read) {
    const size_t width =
        cut_seed == 0 ? receive_buffer_size : 1 + (cut_seed * (read + 1) * 7919) % 300;
    net.received_text = stream.substr(at, width);
    at += width;
    process_messages(net, recorder);
    check(net.received_text.empty());
    check(net.unfinished.size() <= max_unfinished_bytes);
  }
  return recorder.seen;
}

}  // namespace
}  // namespace tornello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello;
  if (size == 0) return 0;
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);

  const auto cut = feed_reads(stream, data[0]);
  // No message in one read's worth is too long to keep: every cut applies the same.
  if (stream.size() <= receive_buffer_size) check(cut == feed_reads(stream, 0));

  const int64_t value = parse_int(stream);
  if (stream.find_first_not_of("0123456789") == std::string::npos && stream.size() <= 18) {
    check(value == (stream.empty() ? 0 : std::strtoll(stream.c_str(), nullptr, 10)));
  }
  return 0;
}

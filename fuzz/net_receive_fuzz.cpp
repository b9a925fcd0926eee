// The receive path under any bytes, cut into reads as the first byte says (0:
// whole reads of the receive buffer's size), and parse_int on any text.
#include "fuzz_support.h"
#include "net/parse_int.h"
#include "net/protocol.h"
#include "net/recording_handler.h"

namespace tornello {
namespace {

using fuzz::check;

// Feeds the stream as reads of the given widths and returns what was applied.
std::vector<std::string> feed_reads(const std::string& stream, uint8_t cut_seed) {
  NetState net;
  RecordingHandler recorder;
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

// Discovery datagrams from anyone: what reads as ours is exactly what we write,
// and what we write from any values reads back as those values.
#include <cstring>

#include "fuzz_support.h"
#include "net/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tornello::discovery;
  using tornello::fuzz::check;
  // A copy of its own, so the sanitizer sees a read past the end.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view datagram(bytes);
  if (const std::optional<Query> query = parse_query(datagram)) {
    check(query_text(*query) == datagram);
  }
  if (const std::optional<Answer> answer = parse_answer(datagram)) {
    check(answer_text(*answer) == datagram);
    check(answer->port != 0 && (answer->game_mode == 1 || answer->game_mode == 2));
  }
  check(!(parse_query(datagram) && parse_answer(datagram)));
  if (size > max_datagram) check(!parse_query(datagram) && !parse_answer(datagram));
  uint32_t words[3] = {};
  std::memcpy(words, data, std::min(size, sizeof words));
  const Answer made{words[0], static_cast<uint16_t>(words[1] % 65535 + 1),
                    static_cast<int32_t>(words[1] >> 31) + 1, words[2]};
  check(parse_answer(answer_text(made)) == made);
  check(answer_text(made).size() <= max_datagram);
  check(parse_query(query_text(Query{words[0]})) == Query{words[0]});
  return 0;
}

#include "shell/language.h"

#include "platform/file_lookup.h"
#include "platform/line_reader.h"

namespace tornello {

bool LanguageTable::load(FileLookup& files, const std::string& code) {
  auto path = files.resolve("lang/" + code + ".lng");
  if (!path) return false;
  auto reader = LineReader::open_for_reading(*path);
  if (!reader) return false;
  int n = 0;
  do {
    ++n;
    std::string line = reader->read_line();
    if (n <= max_entries) entries[n] = std::move(line);
  } while (!reader->at_end());
  return true;
}

const std::string& LanguageTable::text(int entry) const {
  static const std::string empty;
  if (entry < 1 || entry > max_entries) return empty;
  return entries[entry];
}

}  // namespace tornello

// Writing a whole file so that a reader finds either the old text or the new,
// never half of one, whatever happens midway (a crash, a kill, a power cut).
#pragma once

#include <string>

namespace tornello {

// Writes `text` beside `path`, flushes it to the disk, then renames it over
// `path`, making the folder first if needed. False when any step fails; the old
// file is then left as it was and nothing is left beside it.
bool replace_file(const std::string& path, const std::string& text);

}  // namespace tornello

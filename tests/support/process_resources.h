// Open file descriptors, threads and memory in use by this process.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <string>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tornello {

// The entries of one of this process's /proc folders: "fd", "task" (its threads).
inline size_t proc_entries(const std::string& folder) {
  size_t count = 0;
  if (DIR* dir = ::opendir(("/proc/self/" + folder).c_str())) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}
inline size_t open_files() {
  return proc_entries("fd");
}

// Resident bytes; under the address sanitizer, whose quarantine keeps freed
// blocks resident, the bytes allocated and not yet freed.
inline size_t memory_in_use() {
#ifdef __SANITIZE_ADDRESS__
  return __sanitizer_get_current_allocated_bytes();
#else
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(::sysconf(_SC_PAGESIZE));
#endif
}

}  // namespace tornello

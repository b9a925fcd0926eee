// The calling thread, and threads it starts later, get a mount namespace where
// /etc/hosts and /etc/resolv.conf are the test's and the machine's name caches
// are out of reach: no lookup asks the machine's name servers. Needs root.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.h"

namespace tornello {

// name_server: the one server the resolver asks; the hosts file is empty.
inline bool use_own_name_files(const std::string& name_server) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return false;
  }
  // The mounts keep the files; the folder may go once they are made.
  const TempDir files;
  const std::string resolv_conf = "nameserver " + name_server + "\noptions timeout:1 attempts:1\n";
  for (const auto& [name, text] :
       {std::pair{"hosts", std::string()}, std::pair{"resolv.conf", resolv_conf}}) {
    const std::string file = std::string("/etc/") + name;
    if (::mount(files.write(name, text).c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      return false;
    }
  }
  for (const char* cache : {"/run/nscd", "/var/run/nscd", "/run/systemd/resolve"}) {
    if (::access(cache, F_OK) == 0 && ::mount("none", cache, "tmpfs", 0, nullptr) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace tornello

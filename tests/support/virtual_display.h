// An X display of its own from xvfb-run, for as long as the object lives; DISPLAY
// and XAUTHORITY point at it meanwhile. xvfb-run runs a shell that reports the
// display and then just waits to be stopped.
#pragma once

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace tornello {

class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& screen = "1280x800x24") {
    const std::string command = "xvfb-run -a -s '-screen 0 " + screen +
                                " -nolisten tcp' "
                                "sh -c 'echo \"$$ $DISPLAY $XAUTHORITY\"; exec sleep 3600' 2>&1";
    server_ = ::popen(command.c_str(), "r");
    char line[512] = {}, display[128] = {}, authority[384] = {};
    if (!server_ || !std::fgets(line, sizeof line, server_)) return;
    if (std::sscanf(line, "%d %127s %383s", &holder_, display, authority) != 3) return;
    ::setenv("DISPLAY", display, 1);
    ::setenv("XAUTHORITY", authority, 1);
    ready_ = true;
  }
  ~VirtualDisplay() {
    if (holder_ > 0) ::kill(holder_, SIGTERM);  // xvfb-run then stops the server
    if (server_) ::pclose(server_);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool ready() const { return ready_; }

 private:
  FILE* server_ = nullptr;
  pid_t holder_ = -1;
  bool ready_ = false;
};

}  // namespace tornello

// A device held open and locked by another process, as another program (or another
// tarmix) holds a port, until the holder is released or destroyed.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace tarmix::testing {

class PortHolder {
  public:
    explicit PortHolder(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0) return;
        holder_ = fork();
        if (holder_ == 0) {
            close(ready[0]);
            const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (held) ioctl(fd, TIOCEXCL);
            if (write(ready[1], held ? "y" : "n", 1) != 1) _exit(1);
            pause();
            _exit(0);
        }
        close(ready[1]);  // a holder that could not start ends the read
        char answer = 'n';
        held_ = holder_ > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
        close(ready[0]);
    }
    ~PortHolder() { release(); }
    void release() {
        if (holder_ <= 0) return;
        kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
        holder_ = -1;
    }
    bool held() const { return held_; }

  private:
    pid_t holder_ = -1;
    bool held_ = false;
};

}  // namespace tarmix::testing

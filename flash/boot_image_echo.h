// Following the monitor's answers while a boot image is typed into it.
//
// The monitor echoes every piece it takes and ends it with CR LF; a record it stores brings
// nothing more, and a monitor may follow that with its prompt's "Boot> " (an empty line
// always brings the prompt). The line feed a piece starts with may come back or not.
// Anything else (an error line for a refused record, an echo that differs from the piece
// sent) means a record did not reach the monitor's RAM as it stands in the file.
#pragma once

#include <cstddef>
#include <string_view>

#include "flash/boot_image.h"

namespace tarmix {

class BootImageEchoWatch {
  public:
    explicit BootImageEchoWatch(const BootImage& image) : image_(image) {}

    // Takes the next bytes that arrived; false from the first byte that differs from the
    // answers expected (and for every call after it).
    bool Take(std::string_view received);
    // Every piece of the image has been answered as expected.
    bool Complete() const;
    // The line of the file (counted from 1) whose answer went wrong, or the first line not
    // yet answered.
    size_t Line() const { return piece_ + 1; }

  private:
    bool Step(char c);

    const BootImage& image_;
    size_t piece_ = 0;        // the piece whose answer comes now
    size_t at_ = 0;           // characters of its echo and CR LF matched so far
    bool lineFeed_ = false;   // its line feed came back
    size_t promptAt_ = 0;     // characters of "Boot> " matched after the last CR LF
    bool afterLine_ = false;  // an answer just ended: "Boot> " may follow
    bool failed_ = false;
};

}  // namespace tarmix

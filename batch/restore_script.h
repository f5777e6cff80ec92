// The restore script a backup writes beside its files ("Reload.rom"): a batch script that
// asks first, then programs the application, sets the drive sizes, formats and refills
// each drive, and restores the EEPROM.
//
//   messageyesno Restore backup from 07.12.2026 22:30?
//   program "Flash\Application.rom"
//   init drives 1024 64 256
//   format a:
//   mkdir "A:\LOG\"
//   download "Drive_A\LOG\DAY1.TXT" "A:\LOG\DAY1.TXT"
//   restoreeprom "EEPROM\Eeprom.bin"
//
// The script is 8-bit text (ISO 8859-1) with a CR LF after every line, the last one too,
// on every platform. PC names in it are relative to the script's folder, with "\".
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "batch/batch_run.h"

namespace tarmix {

class RestoreScript {
  public:
    // Any line, as 8-bit text without its line end.
    void AddLine(std::string_view line);

    // "messageyesno" with the catalogue's "Restore backup from %d.%m.%Y %H:%M?" filled with
    // `time`, in the current language, or in English when that language's text cannot be
    // written in ISO 8859-1.
    void AddQuestion(const LocalTime& time);
    // program "NAME", restoreeprom "NAME": a file relative to the script, "\" separated.
    void AddProgram(std::string_view relativeName);
    void AddRestoreEeprom(std::string_view relativeName);
    void AddInitDrives(const std::array<int32_t, 3>& sizesKb);
    // format a:, b: or c: for drive 0..2.
    void AddFormat(int drive);

    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

// The question's text for a language's catalogue entry and a time: the conversions %d %m
// %Y %H %M are filled, "%%" becomes "%", anything else stays as written.
std::string FillBackupTime(std::string_view pattern, const LocalTime& time);

}  // namespace tarmix

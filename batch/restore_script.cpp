#include "batch/restore_script.h"

#include <cstdio>

#include "lang/catalog.h"
#include "lang/text_names.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {

std::string TwoDigits(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string Quoted(std::string_view name) { return '"' + std::string(name) + '"'; }

}  // namespace

std::string FillBackupTime(std::string_view pattern, const LocalTime& time) {
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            text += pattern[i];
            continue;
        }
        switch (pattern[++i]) {
            case 'd':
                text += TwoDigits(time.day);
                break;
            case 'm':
                text += TwoDigits(time.month);
                break;
            case 'Y':
                text += std::to_string(time.year);
                break;
            case 'H':
                text += TwoDigits(time.hour);
                break;
            case 'M':
                text += TwoDigits(time.minute);
                break;
            case '%':
                text += '%';
                break;
            default:
                text += '%';
                text += pattern[i];
        }
    }
    return text;
}

void RestoreScript::AddLine(std::string_view line) {
    text_.append(line);
    text_ += "\r\n";
}

void RestoreScript::AddQuestion(const LocalTime& time) {
    // The question names what the script destroys.
    const auto asked = [&time](const std::string& question, const std::string& destroyed) {
        return Utf8ToLatin1(FillBackupTime(question, time) + " " + destroyed);
    };
    auto question = asked(LoadText(text::kRestoreQuestion), LoadText(text::kRestoreDestroys));
    if (!question) {
        const TextCatalogues& builtIn = builtInCatalogues();
        question = asked(builtIn.lookup(kEnglishLanguage, text::kRestoreQuestion).value_or(""),
                         builtIn.lookup(kEnglishLanguage, text::kRestoreDestroys).value_or(""));
    }
    AddLine("messageyesno " + question.value_or(""));
}

void RestoreScript::AddProgram(std::string_view relativeName) {
    AddLine("program " + Quoted(relativeName));
}

void RestoreScript::AddRestoreEeprom(std::string_view relativeName) {
    AddLine("restoreeprom " + Quoted(relativeName));
}

void RestoreScript::AddInitDrives(const std::array<int32_t, 3>& sizesKb) {
    AddLine("init drives " + std::to_string(sizesKb[0]) + ' ' + std::to_string(sizesKb[1]) + ' ' +
            std::to_string(sizesKb[2]));
}

void RestoreScript::AddFormat(int drive) {
    AddLine(std::string("format ") + char('a' + drive) + ':');
}

}  // namespace tarmix

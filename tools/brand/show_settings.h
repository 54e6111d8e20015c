// What `zorvane-brand show` prints: the values the program's start-up reader
// takes from a settings text, one name=value line each, so a brander can see
// what a copy will show without starting the window.
#pragma once

#include <string>
#include <string_view>

#include "branding/settings_text.h"

namespace brandtool {

// The value with backslash, CR and LF written as \\, \r and \n, so that every
// value stays on its own line and the line can be read back unambiguously.
// Every other byte stays as it is.
std::string EscapeValue(std::string_view value);

// The lines in the reader's order, LF after each: the single values, the
// Make Money caption the button gets, the family entries numbered from 1,
// and whether the News button shows.
std::string FormatSettings(const branding::SettingsText& text);

}  // namespace brandtool

// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace kv {

// The languages of the texts the operator reads: captions, the status line,
// the log, the statistics and the message boxes.
//
// The texts are written in the code in Chinese, which is their own language
// (the source language of the translations) and the default whatever the
// system's locale says. English comes from the translation built into the
// programs as a resource, so nothing is installed beside them.
//
// A translatable text goes through QCoreApplication::translate() where it is
// made, or through QT_TRANSLATE_NOOP() in a table and translate() where the
// table is read. Its context names where the operator reads it, so that one
// translator sees the texts of one place together and the window's tests
// measure every text of a context in its place:
//
//   Layout      captions and initial texts of the controls (the table), and
//               the automatic test's toggle captions
//   Indicators  the entries of the indicator list
//   Status      the status line
//   Log         the lines of the automatic test's log
//   Statistics  the texts the statistics frame makes
//   Messages    the message boxes (and the console program's copy of them)
//   Window      the window's title and the names screen readers give controls
enum class Language { Chinese, English };

// The names the command line and KV718ST_LANGUAGE take.
inline constexpr std::array<std::pair<std::string_view, Language>, 2> kLanguageNames = {{
    {"en", Language::English},
    {"zh", Language::Chinese},
}};

// The environment variable that chooses the window's language when its
// command line does not.
inline constexpr const char *kLanguageVariable = "KV718ST_LANGUAGE";

// The language of a name ("en", "zh"); nothing for any other text.
std::optional<Language> languageNamed(std::string_view name);

// The texts the application makes from now on are those of `language`:
// English installs the built-in translation on the application, Chinese
// removes it. False when the translation cannot be loaded; the texts then
// stay Chinese.
bool useLanguage(Language language);

} // namespace kv

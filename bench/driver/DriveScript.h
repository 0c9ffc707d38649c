// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The driver's little language. A script is a list of steps separated by ';'
// or new lines; '#' starts a comment that runs to the end of the line. Words
// holding blanks or ';' are written in double quotes ("\"" and "\\" escape).
//
//   paint [within MS]                 wait for Form1's first paint
//   click NAME [within MS]            press and release the left button on NAME
//   wait MS                           let the event loop run for MS milliseconds
//   until NAME is TEXT [within MS]    wait until NAME's text equals TEXT
//   until NAME has TEXT [within MS]   wait until NAME's text contains TEXT
//   until NAME reaches N [within MS]  wait until NAME's text is a whole number
//                                     of at least N
//   text NAME                         print NAME's text
//   texts                             print the text of every named control,
//                                     the entries of its lists and the names
//                                     screen readers give controls
//   grab PATH                         save a picture of Form1 as PNG
//   memory                            print peak and current resident memory
//   boxes                             from now on print every message box and
//                                     press its default button
//   repeat N STEP                     run STEP N times
//   repeat N { STEPS }                run the steps in braces N times
//   close                             close Form1 (only as the very last step)
namespace kv::drive {

enum class StepKind { Paint, Click, Wait, Until, Text, Texts, Grab, Memory, Boxes, Repeat, Close };
enum class Match { Equals, Contains, AtLeast };

// The keyword of a match in a script: is, has, reaches.
QString matchKeyword(Match match);

struct Step
{
    StepKind kind = StepKind::Memory;
    QString name;               // Click, Until, Text: the control's objectName
    QString text;               // Until: expected text or least number; Grab: file path
    Match match = Match::Equals;// Until
    std::int64_t number = 0;    // Wait: ms; Repeat: count; Paint/Click/Until: timeout ms
    std::vector<Step> body;     // Repeat
    QString source;             // the step as written, for messages
};

// Default time limits for the steps that wait for something.
inline constexpr std::int64_t kDefaultPaintTimeoutMs = 10000;
inline constexpr std::int64_t kDefaultClickTimeoutMs = 10000;
inline constexpr std::int64_t kDefaultUntilTimeoutMs = 5000;
// Upper bounds that catch typos such as a missing separator between numbers.
inline constexpr std::int64_t kMaxMs = 3600000;
inline constexpr std::int64_t kMaxRepeat = 1000000;

struct ParseResult
{
    std::vector<Step> steps;
    QString error; // empty when the script is valid
    bool ok() const { return error.isEmpty(); }
};

ParseResult parseScript(const QString &script);

// Value of a "Key:   1234 kB" line of /proc/<pid>/status, in kB.
std::optional<std::int64_t> statusFieldKb(const QByteArray &status, const char *key);

// Median of the values (mean of the two middle ones for an even count);
// 0 for an empty list.
double median(std::vector<double> values);

// Quotes a value for a "key=value" output field when it holds blanks,
// quotes, '=' or control characters, so that one field stays one token.
QString fieldValue(const QString &value);

// Nanoseconds since the epoch given as decimal digits; nothing for anything else.
std::optional<std::int64_t> parseEpochNs(const QByteArray &text);

} // namespace kv::drive

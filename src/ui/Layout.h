// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <span>

// The window's controls as data: name, kind, container, caption or initial
// text, rectangle in twips (1/1440 inch, 15 twips a pixel at 96 dpi) measured
// from the container's top-left corner, and tab position (-1: takes no
// focus). Containers come before the controls they hold.
//
// A caption or initial text that is words is marked for translation with
// QT_TRANSLATE_NOOP("Layout", ...), or QT_TRANSLATE_NOOP3 where two controls
// show the same Chinese text that English words differently; the window
// shows its translation (see Language.h). Numbers and placeholders are not
// marked and show as they are.
namespace kv::layout {

enum class Kind { Frame, Picture, Shape, Label, Button, TextBox, LogBox, ComboBox };

// The translation context of the table's texts.
inline constexpr const char *kTextContext = "Layout";

// A caption or initial text in UTF-8, Chinese, and what tells it apart from
// the same text elsewhere in the table.
struct Text
{
    const char *source;
    const char *disambiguation = nullptr;

    constexpr Text(const char *text) : source(text) {}
    constexpr Text(const char *text, const char *comment) : source(text), disambiguation(comment) {}
};

struct Control
{
    const char *name;
    Kind kind;
    const char *container; // nullptr: the window itself
    Text text;             // caption or initial text
    int left, top, width, height;
    int tab;
    bool enabled = true;
};

// Client area of the window, in twips.
inline constexpr int kWindowWidth = 18960;
inline constexpr int kWindowHeight = 8400;

std::span<const Control> controls();

// Twips to device-independent pixels; Qt scales these on high-DPI screens.
constexpr int pixels(int twips) { return (twips + 7) / 15; }

} // namespace kv::layout

// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>

#include <QtGlobal>

namespace kv {

// The indicator commands of rf_light_125K, named as the window's list names
// them, in UTF-8; the index is the code passed to the library. The window
// shows their translation (context "Indicators") and decides by the index.
inline constexpr std::array<const char *, 4> kIndicatorNames = {
    QT_TRANSLATE_NOOP("Indicators", "LED1灭"), QT_TRANSLATE_NOOP("Indicators", "LED1亮"),
    QT_TRANSLATE_NOOP("Indicators", "LED2灭"), QT_TRANSLATE_NOOP("Indicators", "LED2亮")};

} // namespace kv

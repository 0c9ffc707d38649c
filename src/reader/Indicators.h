// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <string_view>

namespace kv {

// The indicator commands of rf_light_125K, named as the window's list names
// them; the index is the code passed to the library.
inline constexpr std::array<std::u16string_view, 4> kIndicatorNames = {u"LED1灭", u"LED1亮", u"LED2灭", u"LED2亮"};

} // namespace kv

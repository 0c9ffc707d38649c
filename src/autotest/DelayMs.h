// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#pragma once

namespace kv {

// Waits `milliseconds` while the window stays alive: pending events are
// processed during the wait, so clicks and timer ticks run their handlers
// inside it. The wait sleeps between events instead of polling, and ends as
// soon as the elapsed time reaches the interval, never earlier. An interval
// of 0 or less returns at once without processing events.
void DelayMs(double milliseconds);

class PreciseWake;

// The same with a wake the caller keeps for all its waits, so that a wait
// costs no timer of its own. Waits may nest (a handler run inside one waits
// too): an inner wait hands the wake back armed for the outer one.
void DelayMs(double milliseconds, PreciseWake &wake);

} // namespace kv

// For tests only: how long a start writes before its progress window's
// thread is started (PROGRESS_WINDOW_DELAY_MS), so that a probe whose starts
// are short reaches that start at its first piece.
#pragma once

extern unsigned progressWindowDelayMs;

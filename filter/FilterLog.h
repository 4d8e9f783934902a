#pragma once
// The filter's diagnostic lines: "[pid][tid] 590: " and the text, on the
// debugger output channel.

void FilterLog(const char* fmt, ...) __attribute__((format(gnu_printf, 1, 2)));

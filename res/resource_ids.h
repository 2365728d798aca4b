#pragma once

// Resource identifiers of tavrel-clock.exe, shared by the resource script and
// the code that loads them.
#define IDI_TAVREL_CLOCK 1

// The timer callback: three self-re-arming ticks whose value is their period
// in milliseconds (10 walking and zooming, 50 folding, 1000 idle).
#pragma once

void TimerFunc(int value);

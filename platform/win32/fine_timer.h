#pragma once

namespace orvane {

// Windows wakes sleeping threads and expires serial time-outs on a 15.6 ms
// tick unless a program asks for more: a 20 ms poll would last 31 ms and a
// 4-second wait over 6. The first call asks for 1 ms for the rest of the
// process; later calls do nothing.
void UseFineTimerResolution();

}  // namespace orvane

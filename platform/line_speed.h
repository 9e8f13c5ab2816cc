#pragma once

namespace orvane {

// Any line speed the serial driver accepts, not only the rates of the fixed
// table: a board application may run at 14400 or 250000 baud.

// Sets both directions of the open tty fd to baud. False when the driver
// refuses the rate or settles on another one (more than 2 % away).
bool setLineSpeed(int fd, int baud);

// The output speed of the open tty fd in baud, as the driver reports it;
// 0 when it cannot be read.
int lineSpeed(int fd);

}  // namespace orvane

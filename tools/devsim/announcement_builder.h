// The announcement datagram a device sends in answer to discovery.
#pragma once
#include <string>

#include "device_profile.h"

namespace velkarin::devsim {

// Up to three sections of blank-separated items, each ended by a NUL (the last
// one only when terminateLastSection). Within a section, items are written up
// to the first empty text item; numbers are written in decimal, serial and
// auxNumber in upper-case hex. A raw announcement is returned as it is.
std::string BuildAnnouncement(const Announced& announced);

}  // namespace velkarin::devsim

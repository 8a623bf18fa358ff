// The configuration form: the DHCP box and "Send Config".
#pragma once

namespace velkarin {

void OnUseDhcpClicked();
// Checks the form, configures the selected device and reports the outcome.
void SendConfiguration();

}  // namespace velkarin

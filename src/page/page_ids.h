/* Resource and control ids of the parameter page. Plain C so that the
   resource script can include it too. */
#ifndef VELKARIN_PAGE_IDS_H
#define VELKARIN_PAGE_IDS_H

#define IDD_PARAMETER_PAGE 101

#define IDC_DEVICE_LIST 1010
#define IDC_SEND_CONFIG 1013
#define IDC_IP_ADDRESS 1018
#define IDC_NETMASK 1019
#define IDC_GATEWAY 1020
#define IDC_USE_DHCP 1033

#endif

// SPDX-License-Identifier: MIT
// Resource and control ids of the graph window and the response monitor
// settings dialog, for graph.rc and the code alike: #define lines only.
#ifndef VIGILON_WIN_GRAPHRESOURCES_H
#define VIGILON_WIN_GRAPHRESOURCES_H

#define IDD_RESPONSE_MONITOR 132
#define IDR_RESPONSE_GRAPH_MENU 137
#define IDI_RESPONSE_MONITOR 11068

#define IDC_RM_ICON 11069
#define IDC_RM_PORT 2002
#define IDC_RM_ALPHA 11031
#define IDC_RM_HISTORY 1026
#define IDC_RM_HISTORY_SPIN 1027
#define IDC_RM_RECORD 1023
#define IDC_RM_FILE 1024
#define IDC_RM_BROWSE 1025

#define IDM_GRAPH_RESET_HISTORY 32772
#define IDM_GRAPH_CLOSE_MONITOR 32778
#define IDM_GRAPH_OUTAGES 32779

#endif

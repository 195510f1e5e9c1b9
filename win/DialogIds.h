// SPDX-License-Identifier: MIT
// Resource and control ids of the dialogs; read by the resource compiler as
// well, so #define only.
#ifndef VIGILON_WIN_DIALOGIDS_H
#define VIGILON_WIN_DIALOGIDS_H

#define IDD_ABOUT 100
#define IDD_MAIN 102
#define IDD_PORT_SETTINGS 130
#define IDD_TARGET_HOST 131
#define IDD_OUTAGES 140

#define IDI_PROGRAM 128
#define IDB_ROW_IMAGES 129
#define IDB_LOGO 137
#define IDB_STATE_IMAGES 26020

/* Main dialog */
#define IDC_TARGET 3
#define IDC_PORT_LIST 1000
#define IDC_INTERVAL 1001
#define IDC_INTERVAL_SPIN 1002
#define IDC_RETRY 1003
#define IDC_RETRY_SPIN 1004
#define IDC_LOGO 1006
#define IDC_STATUS 1008
#define IDC_PORT_TEST 1014
#define IDC_NOTIFY 1030
#define IDC_AUTOSTART 1031
#define IDC_HISTORY 1032

/* Port settings */
#define IDC_DELETE 3
#define IDC_PORT 1005
#define IDC_PROTOCOL 1010
#define IDC_COMMAND 1011
#define IDC_THRESHOLD 1016
#define IDC_HTTP_STATUS 1052
#define IDC_HTTP_CODES 1053
#define IDC_ENTRY_HOST 1017
#define IDC_CERT_DAYS 1040
#define IDC_HTTP_METHOD 1070
#define IDC_HTTP_PATH 1071
#define IDC_HTTP_HEADERS 1072
#define IDC_HTTP_BODY 1073
#define IDC_HTTP_REDIRECTS 1074
#define IDC_CONTENT_RULE 1075
#define IDC_CONTENT_TEXT 1076
// The Http kind panel's group box and labels.
#define IDC_HTTP_GROUP 1077
#define IDC_HTTP_METHOD_LABEL 1078
#define IDC_HTTP_PATH_LABEL 1079
#define IDC_HTTP_HEADERS_LABEL 1080
#define IDC_HTTP_BODY_LABEL 1081
#define IDC_HTTP_BODY_NOTE 1082
#define IDC_CONTENT_RULE_LABEL 1083
// Basic authentication in the Http kind panel.
#define IDC_HTTP_USER 1250
#define IDC_HTTP_PASSWORD 1251
#define IDC_HTTP_USER_LABEL 1252
#define IDC_HTTP_PASSWORD_LABEL 1253
// The rows every kind has, beside the common ones: the entry's name and its
// own interval, retry limit and timeout.
#define IDC_ENTRY_GROUP 1100
#define IDC_ENTRY_NAME_LABEL 1101
#define IDC_ENTRY_NAME 1102
#define IDC_ENTRY_INTERVAL_LABEL 1103
#define IDC_ENTRY_INTERVAL 1104
#define IDC_ENTRY_INTERVAL_UNIT 1105
#define IDC_ENTRY_RETRY_LABEL 1106
#define IDC_ENTRY_RETRY 1107
#define IDC_ENTRY_RETRY_UNIT 1108
#define IDC_ENTRY_TIMEOUT_LABEL 1109
#define IDC_ENTRY_TIMEOUT 1110
#define IDC_ENTRY_TIMEOUT_UNIT 1111
#define IDC_ENTRY_SCHEDULE_HELP 1112
// The Udp kind panel.
#define IDC_UDP_GROUP 1115
#define IDC_UDP_MODE_LABEL 1116
#define IDC_UDP_MODE 1117
#define IDC_UDP_HELP 1118
#define IDC_UDP_PAYLOAD_LABEL 1119
#define IDC_UDP_PAYLOAD 1120
#define IDC_UDP_EXPECT_LABEL 1121
#define IDC_UDP_EXPECT 1122
#define IDC_UDP_BYTES_NOTE 1123
// The DNS kind panel of the port settings dialog.
#define IDC_DNS_GROUP 1140
#define IDC_DNS_NAME 1141
#define IDC_DNS_TYPE 1142
#define IDC_DNS_EXPECT 1143
#define IDC_DNS_ANSWERS 1144
#define IDC_DNS_NAME_LABEL 1145
#define IDC_DNS_TYPE_LABEL 1146
#define IDC_DNS_EXPECT_LABEL 1147
#define IDC_DNS_ANSWERS_LABEL 1148
#define IDC_DNS_ANSWERS_NOTE 1149
/* Port settings: the Push panel */
#define IDC_PUSH_TOKEN 1160
#define IDC_PUSH_CALL 1161
#define IDC_PUSH_COPY 1162
#define IDC_PUSH_REGENERATE 1163
#define IDC_ENTRY_ID 1164
#define IDC_PUSH_GROUP 1165
#define IDC_PUSH_TOKEN_LABEL 1166
#define IDC_PUSH_CALL_LABEL 1167
#define IDC_PUSH_NOTE 1168
#define IDC_ENTRY_ID_LABEL 1169

/* Port settings: the quiet windows' row, under the kind panels */
#define IDC_QUIET_WINDOWS 1180
#define IDC_QUIET_WINDOWS_LABEL 1181

/* Target host */
#define IDC_HOST 1000

/* Outage list */
#define IDC_OUTAGE_LIST 1060
#define IDC_OUTAGE_NOTE 1061
#define IDC_OUTAGE_EXPORT 1062

/* About box: the version line, filled in at initialisation */
#define IDC_VERSION 1020

/* Channels dialog, and the main dialog's button that opens it */
#define IDD_CHANNELS 150
#define IDC_CHANNEL_LIST 1200
#define IDC_CHANNEL_ADD 1201
#define IDC_CHANNEL_DELETE 1202
#define IDC_CHANNEL_TEST 1203
#define IDC_CHANNEL_NAME 1204
#define IDC_CHANNEL_URL 1205
#define IDC_CHANNEL_HEADERS 1206
#define IDC_CHANNEL_RECOVERY 1207
#define IDC_CHANNEL_REMINDER 1208
#define IDC_CHANNEL_STATUS 1209
#define IDC_CHANNEL_NOTE 1210
#define IDC_CHANNELS 1211

/* Port settings dialog: the entry's channels */
#define IDC_PORT_CHANNELS_GROUP 1270
#define IDC_PORT_CHANNELS 1271
#define IDC_PORT_CHANNELS_NOTE 1272

#endif

// Resource ids shared by the resource scripts (plain defines: windres reads
// this file too). The same values are named in app/Commands.h.
#define IDI_PROGRAM 10
#define IDM_MAIN 1
#define IDB_NIGHT_MODE_1 34
#define IDB_NIGHT_MODE_2 25
#define IDB_NIGHT_MODE_3 35
#define IDD_ABNORMAL_EXIT 102
#define IDD_SAFETY_WARNING 103
#define IDD_ABOUT 104
#define IDD_OPTIONS 105
#define IDC_RESET_SETTINGS 1001
#define IDC_LANGUAGE 1002
#define IDC_VERSION 1003
#define IDI_GPS_DISCONNECTED 101
#define IDI_GPS_CONNECTED 102
#define IDI_GPS_RECEIVING 103
#define IDD_NEW_WAYPOINT 106
#define IDC_WAYPOINT_NAME 1004

// Resource ids of the options dialog's pages (plain defines: windres reads
// this file too).
#define IDD_OPTIONS_OFF_ROUTE 170
#define IDD_OPTIONS_ROUTING 171
#define IDD_OPTIONS_AVOID 172
#define IDD_ROUTE_PROGRESS 173

// Off-route page
#define IDC_OPT_OFF_ROUTE 1700
#define IDC_OPT_AMN 1701
#define IDC_OPT_OFF_ROUTE_LABEL 1702
#define IDC_OPT_AMN_LABEL 1703
#define IDC_OPT_AMN_EARLIER 1704
#define IDC_OPT_AMN_LATER 1705

// Routing page
#define IDC_OPT_STYLE_ROADS 1710
#define IDC_OPT_STYLE_LINES 1711
#define IDC_OPT_OPTIMIZATION 1712
#define IDC_OPT_FASTER 1713
#define IDC_OPT_SHORTER 1714
#define IDC_OPT_VEHICLE_LABEL 1715
#define IDC_OPT_VEHICLE 1716

// Avoid page
#define IDC_OPT_AVOID_UTURNS 1720
#define IDC_OPT_AVOID_TOLLS 1721
#define IDC_OPT_AVOID_HIGHWAYS 1722
#define IDC_OPT_AVOID_UNPAVED 1723

// Progress window of a route calculation
#define IDC_PROGRESS_TEXT 1730
#define IDC_PROGRESS_BAR 1731

// Resource ids of the waypoint and route dialogs (plain defines: windres
// reads this file too; app/StoreDialogs*.cpp include it).
#define IDD_WAYPOINT_LIST 140
#define IDD_ROUTE_LIST 141
#define IDD_WAYPOINT_PROPS 142
#define IDD_SYMBOL_CHOOSER 143
#define IDD_ROUTE_EDITOR 144
#define IDD_PICK_WAYPOINT 145

// The list dialogs
#define IDC_STORE_LIST 1400
#define IDC_STORE_PROPERTIES 1401
#define IDC_STORE_DELETE 1402
#define IDC_STORE_SHOW 1403
#define IDC_STORE_NEW 1404
#define IDC_STORE_IMPORT 1405
#define IDC_STORE_EXPORT 1406
#define IDC_STORE_GOTO 1407

// Waypoint properties (also the new-waypoint dialog)
#define IDC_WP_NAME 1004
#define IDC_WP_COMMENT 1410
#define IDC_WP_SYMBOL 1411
#define IDC_WP_SYMBOL_NAME 1412
#define IDC_WP_SHOW 1413
#define IDC_WP_LAT 1414
#define IDC_WP_LON 1415
#define IDC_WP_ALTITUDE 1416
#define IDC_WP_PROXIMITY 1417
#define IDC_WP_ALTITUDE_LABEL 1418

// The symbol chooser
#define IDC_SYM_RECENT 1420
#define IDC_SYM_GRID 1421
#define IDC_SYM_SCROLL 1422
#define IDC_SYM_NAME 1423

// The route editor
#define IDC_RTE_NAME 1430
#define IDC_RTE_TEXT 1431
#define IDC_RTE_COLOR 1432
#define IDC_RTE_POINTS 1433
#define IDC_RTE_INSERT 1434
#define IDC_RTE_DELETE 1435
#define IDC_RTE_UP 1436
#define IDC_RTE_DOWN 1437
#define IDC_RTE_REVERSE 1438
#define IDC_RTE_CALCULATE 1439

// Picking a waypoint for the route
#define IDC_PICK_LIST 1440

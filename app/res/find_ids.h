// Resource ids of the find dialogs (plain defines: windres reads this file
// too; app/FindDialogs.cpp includes it).
#define IDD_FIND 160
#define IDD_FIND_TYPE 161

// The shared find dialog
#define IDC_FIND_CITY_LABEL 1600
#define IDC_FIND_CITY_TEXT 1601
#define IDC_FIND_CITY_LIST 1602
#define IDC_FIND_LABEL1 1603
#define IDC_FIND_TEXT1 1604
#define IDC_FIND_LABEL2 1605
#define IDC_FIND_TEXT2 1606
#define IDC_FIND_LABEL3 1607
#define IDC_FIND_TEXT3 1608
#define IDC_FIND_UNIT 1609
#define IDC_FIND_TYPE 1610
#define IDC_FIND_TYPE_CAPTION 1611
#define IDC_FIND_GO 1612
#define IDC_FIND_RESULTS 1613
// Show on map and go to are the commands 40080 and 40082.
#define IDC_FIND_SHOW 40080
#define IDC_FIND_GOTO 40082

// The category tree
#define IDC_FIND_TYPE_TREE 1620
#define IDC_FIND_TYPE_AUTO 1621

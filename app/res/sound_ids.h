// Resource ids of the options dialog's sounds page (plain defines: windres
// reads this file too).
#define IDD_OPTIONS_SOUNDS 178

#define IDC_OPT_SOUNDS 1900
#define IDC_OPT_SOUND_PLAY 1901
#define IDC_OPT_SOUND_STOP 1902
#define IDC_OPT_SOUND_STATE 1903

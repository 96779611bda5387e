// velmo_ctl.exe: drives and inspects a running velmo.exe from inside the
// same Wine prefix, for the end-to-end tests. Prints results on stdout.
//
//   velmo_ctl count                     number of main windows (class "velmo")
//   velmo_ctl wait-window SECONDS       waits until a main window exists
//   velmo_ctl command ID [ID...]        posts WM_COMMAND ID(s) to the main window, back to back
//   velmo_ctl resize W H                resizes the main window
//   velmo_ctl move X Y W H              places the main window
//   velmo_ctl post MSG WPARAM           posts a message (numbers, 0x... allowed)
//   velmo_ctl close                     posts WM_CLOSE
//   velmo_ctl dialogs                   visible dialog windows: "hwnd<TAB>title<TAB>first static text"
//   velmo_ctl dialog-text               all texts of the first visible dialog
//   velmo_ctl press-dialog ID           presses button ID of the first visible dialog
//   velmo_ctl client-size               client width and height of the main window
//   velmo_ctl reg-get KEY VALUE         "REG_DWORD<TAB>n" or "REG_SZ<TAB>text" (UTF-8; VALUE "" = default);
//                                      exit 2 when the key or value is absent
//   velmo_ctl reg-set-sz KEY VALUE TEXT  writes a REG_SZ (UTF-8 argument)
//   velmo_ctl window-rect               window rectangle and the screen origin of its client area
//   velmo_ctl dialog-controls           "id<TAB>class<TAB>text" of every control of the first visible dialog
//   velmo_ctl list-count                rows of the first list view, list box or tree view (its items)
//                                       of the first visible dialog
//   velmo_ctl list-text                 the items of the first list box of the first visible dialog
//   velmo_ctl list-key VK [N]           presses key VK N times (default 1) in that list
//   velmo_ctl list-checks               the check box of every row of that list view ("1" or "0" a line)
//   velmo_ctl list-selected             the selected row of that list view (-1: none)
//   velmo_ctl header-point COL          screen point at the middle of column COL's header in that
//                                       list view (columns in their created order)
//   velmo_ctl set-dialog-text ID TEXT   sets the text of control ID of the first visible dialog (UTF-8)
//   velmo_ctl listview-text             the rows of the first visible list view of the first visible
//                                       dialog, cells separated by tabs
//   velmo_ctl listview-key VK [N]       presses key VK N times in that list view
//   velmo_ctl layout                    "screen W H DPI", then for the main window and every visible dialog
//                                       of its process "window<TAB>class<TAB>title<TAB>l t r b<TAB>controls"
//                                       and one "outside<TAB>..." line for each visible control that
//                                       reaches past its parent's client area or window past the screen;
//                                       a control of a scrolling page that lies beyond its view but within
//                                       the page's scroll range gives a "scrolled<TAB>..." line instead
//   velmo_ctl page-scroll CODE          sends WM_VSCROLL CODE (6 top, 7 bottom, 3 page down) to the shown page
//                                       of the first visible dialog (a property sheet); prints the page's
//                                       scroll offset afterwards
//   velmo_ctl text-clips                "clips<TAB>id<TAB>class<TAB>text<TAB>text width<TAB>room" for each
//                                       visible button, check box or radio button of the program's visible
//                                       dialogs whose text, in the dialogs' font (MS Shell Dlg, 8 points),
//                                       is wider than the room it has (a multi-line one: taller); "word<TAB>..."
//                                       instead where a word is wider than the room would be if the control
//                                       reached its parent's right edge
//   velmo_ctl maneuver                  what the maneuver display shows, from the program's own state:
//                                       "RUNNING STATE KIND EXIT METRES END" (guidance runs 1/0, the
//                                       navigation state, the maneuver kind, the roundabout's exit
//                                       number, metres to the maneuver and to the route's end)
//
// Menus live in the program's own process under Wine, so their texts are
// checked on screen (see menu_bar_image in velmo_e2e.py).
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static HWND MainWindow() { return FindWindowW(L"velmo", nullptr); }

static void PrintW(const wchar_t* psz) {
  char sz[4096];
  int n = WideCharToMultiByte(CP_UTF8, 0, psz, -1, sz, sizeof sz, nullptr, nullptr);
  if (n > 0) fputs(sz, stdout);
}

struct DialogSearch {
  HWND hFirst;
  bool fPrint;
};

// WM_GETTEXT reaches into another process's edit controls, where
// GetWindowText only sees the window's caption.
static void ControlText(HWND h, wchar_t* psz, int cch) {
  psz[0] = 0;
  DWORD_PTR dwResult = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, WPARAM(cch), reinterpret_cast<LPARAM>(psz), SMTO_ABORTIFHUNG, 2000, &dwResult);
}

static BOOL CALLBACK PrintChild(HWND h, LPARAM) {
  wchar_t sz[1024];
  ControlText(h, sz, 1024);
  if (*sz) {
    PrintW(sz);
    fputs("\n", stdout);
  }
  return TRUE;
}

static BOOL CALLBACK PrintControl(HWND h, LPARAM) {
  wchar_t szClass[64], sz[1024];
  GetClassNameW(h, szClass, 64);
  ControlText(h, sz, 1024);
  printf("%d\t", GetDlgCtrlID(h));
  PrintW(szClass);
  printf("\t");
  PrintW(sz);
  // Then whether it is enabled and its state: a button's check, a list's
  // selection, a slider's position (0 for other controls).
  long nState = 0;
  if (lstrcmpiW(szClass, L"Button") == 0) nState = long(SendMessageW(h, BM_GETCHECK, 0, 0));
  else if (lstrcmpiW(szClass, L"ListBox") == 0) nState = long(SendMessageW(h, LB_GETCURSEL, 0, 0));
  else if (lstrcmpiW(szClass, L"msctls_trackbar32") == 0) nState = long(SendMessageW(h, WM_USER /* TBM_GETPOS */, 0, 0));
  else if (lstrcmpiW(szClass, L"ComboBox") == 0) nState = long(SendMessageW(h, CB_GETCURSEL, 0, 0));
  printf("\t%d\t%ld\n", IsWindowEnabled(h) ? 1 : 0, nState);
  return TRUE;
}

// A descendant control by id, preferring one of the given class (the file
// dialogs nest their name edit in a combo box and have two controls 1).
struct ControlSearch {
  int id;
  const wchar_t* pszClass;
  HWND hFound;
};

static BOOL CALLBACK FindControl(HWND h, LPARAM l) {
  ControlSearch* p = reinterpret_cast<ControlSearch*>(l);
  if (GetDlgCtrlID(h) != p->id) return TRUE;
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  if (lstrcmpiW(szClass, p->pszClass) != 0) return TRUE;
  p->hFound = h;
  return FALSE;
}

static HWND Control(HWND hDlg, int id, const wchar_t* pszClass) {
  ControlSearch s = {id, pszClass, nullptr};
  EnumChildWindows(hDlg, FindControl, reinterpret_cast<LPARAM>(&s));
  return s.hFound ? s.hFound : GetDlgItem(hDlg, id);
}

static BOOL CALLBACK FindDialog(HWND h, LPARAM l) {
  DialogSearch* p = reinterpret_cast<DialogSearch*>(l);
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  if (lstrcmpW(szClass, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
  if (!p->hFirst) p->hFirst = h;
  if (p->fPrint) {
    wchar_t szTitle[256];
    GetWindowTextW(h, szTitle, 256);
    printf("%p\t", (void*)h);
    PrintW(szTitle);
    printf("\n");
  }
  return TRUE;
}

static long Num(const char* psz) { return strtol(psz, nullptr, 0); }

static BOOL CALLBACK FindList(HWND h, LPARAM l) {
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  if (lstrcmpiW(szClass, L"SysListView32") != 0 && lstrcmpiW(szClass, L"ListBox") != 0 &&
      lstrcmpiW(szClass, L"SysTreeView32") != 0)
    return TRUE;
  *reinterpret_cast<HWND*>(l) = h;
  return FALSE;
}

static BOOL CALLBACK FindVisibleListView(HWND h, LPARAM l) {
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  if (lstrcmpiW(szClass, L"SysListView32") != 0 || !IsWindowVisible(h)) return TRUE;
  *reinterpret_cast<HWND*>(l) = h;
  return FALSE;
}

// The list view lives in the program's process: its item texts are read
// through a buffer in that process.
static int PrintListView(HWND hList) {
  DWORD dwPid = 0;
  GetWindowThreadProcessId(hList, &dwPid);
  HANDLE hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwPid);
  if (!hProcess) return 1;
  const SIZE_T cchText = 512;
  char* pRemote = static_cast<char*>(
      VirtualAllocEx(hProcess, nullptr, sizeof(LVITEMW) + cchText * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
  if (!pRemote) {
    CloseHandle(hProcess);
    return 1;
  }
  HWND hHeader = reinterpret_cast<HWND>(SendMessageW(hList, 0x101F /* LVM_GETHEADER */, 0, 0));
  long cColumns = hHeader ? long(SendMessageW(hHeader, 0x1200 /* HDM_GETITEMCOUNT */, 0, 0)) : 1;
  long cRows = long(SendMessageW(hList, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0));
  for (long iRow = 0; iRow < cRows; ++iRow) {
    for (long iCol = 0; iCol < cColumns; ++iCol) {
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = int(iRow);
      item.iSubItem = int(iCol);
      item.pszText = reinterpret_cast<wchar_t*>(pRemote + sizeof(LVITEMW));
      item.cchTextMax = int(cchText);
      WriteProcessMemory(hProcess, pRemote, &item, sizeof item, nullptr);
      SendMessageW(hList, 0x1073 /* LVM_GETITEMTEXTW */, WPARAM(iRow), reinterpret_cast<LPARAM>(pRemote));
      wchar_t sz[512] = L"";
      ReadProcessMemory(hProcess, pRemote + sizeof(LVITEMW), sz, sizeof sz - sizeof(wchar_t), nullptr);
      if (iCol) printf("\t");
      PrintW(sz);
    }
    printf("\n");
  }
  VirtualFreeEx(hProcess, pRemote, 0, MEM_RELEASE);
  CloseHandle(hProcess);
  return 0;
}

static std::wstring Wide(const char* psz) {
  wchar_t sz[2048];
  int n = MultiByteToWideChar(CP_UTF8, 0, psz, -1, sz, 2048);
  return n > 0 ? std::wstring(sz) : std::wstring();
}

// "HKCU\Software\..." -> root and subkey
static HKEY SplitKey(const std::wstring& path, std::wstring& sub) {
  size_t slash = path.find(L'\\');
  std::wstring root = path.substr(0, slash);
  sub = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
  if (root == L"HKCU" || root == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (root == L"HKLM" || root == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (root == L"HKCR" || root == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  return nullptr;
}

// Prints "REG_DWORD<TAB>number" or "REG_SZ<TAB>text" (UTF-8); fails when absent.
static int RegGet(const char* pszKey, const char* pszValue) {
  std::wstring sub;
  HKEY hRoot = SplitKey(Wide(pszKey), sub);
  HKEY h;
  if (!hRoot) return 1;
  LONG errOpen = RegOpenKeyExW(hRoot, sub.c_str(), 0, KEY_READ, &h);
  if (errOpen != ERROR_SUCCESS) return errOpen == ERROR_FILE_NOT_FOUND ? 2 : 1;
  std::wstring name = Wide(pszValue);
  BYTE data[8192];
  DWORD type = 0, cb = sizeof data - 2;
  LONG err = RegQueryValueExW(h, name.empty() ? nullptr : name.c_str(), nullptr, &type, data, &cb);
  RegCloseKey(h);
  if (err != ERROR_SUCCESS) return err == ERROR_FILE_NOT_FOUND ? 2 : 1;
  if (type == REG_DWORD && cb == 4) {
    printf("REG_DWORD\t%lu\n", *reinterpret_cast<DWORD*>(data));
  } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
    data[cb] = 0;
    data[cb + 1] = 0;
    printf("REG_SZ\t");
    PrintW(reinterpret_cast<wchar_t*>(data));
    printf("\n");
  } else {
    printf("OTHER\t%lu\n", type);
  }
  return 0;
}

static int RegSetString(const char* pszKey, const char* pszValue, const char* pszText) {
  std::wstring sub;
  HKEY hRoot = SplitKey(Wide(pszKey), sub);
  HKEY h;
  if (!hRoot || RegCreateKeyExW(hRoot, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr))
    return 1;
  std::wstring name = Wide(pszValue), text = Wide(pszText);
  LONG err = RegSetValueExW(h, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()), DWORD((text.size() + 1) * 2));
  RegCloseKey(h);
  return err == ERROR_SUCCESS ? 0 : 1;
}

// Layout check: every visible child lies inside its parent's client area;
// every top-level window of the program lies on the screen.
struct LayoutCheck {
  int cControls;
};

static void PrintRect(const RECT& rc) { printf("%ld %ld %ld %ld", rc.left, rc.top, rc.right, rc.bottom); }

static void PrintWindowName(HWND h) {
  wchar_t szClass[64], sz[256];
  GetClassNameW(h, szClass, 64);
  ControlText(h, sz, 256);
  printf("%d\t", GetDlgCtrlID(h));
  PrintW(szClass);
  printf("\t");
  PrintW(sz);
}

static BOOL CALLBACK CheckChild(HWND h, LPARAM lParam) {
  auto* p = reinterpret_cast<LayoutCheck*>(lParam);
  if (!IsWindowVisible(h)) return TRUE;
  HWND hParent = GetAncestor(h, GA_PARENT);
  RECT rc, rcParent;
  GetWindowRect(h, &rc);
  GetClientRect(hParent, &rcParent);
  MapWindowPoints(hParent, nullptr, reinterpret_cast<POINT*>(&rcParent), 2);
  ++p->cControls;
  if (rc.left < rcParent.left || rc.top < rcParent.top || rc.right > rcParent.right || rc.bottom > rcParent.bottom) {
    // A scrolling page says how tall its content is and how far it is
    // scrolled; a control within that range is reached with the scroll bar.
    const INT_PTR cyContent = reinterpret_cast<INT_PTR>(GetPropW(hParent, L"VelmoContentHeight"));
    const INT_PTR nPos = reinterpret_cast<INT_PTR>(GetPropW(hParent, L"VelmoScrollPos"));
    const bool fScrolls = cyContent > 0 && (GetWindowLongPtrW(hParent, GWL_STYLE) & WS_VSCROLL) != 0;
    const long yTop = long(rc.top - rcParent.top + nPos), yBottom = long(rc.bottom - rcParent.top + nPos);
    const bool fReachable = fScrolls && rc.left >= rcParent.left && rc.right <= rcParent.right && yTop >= 0 &&
                            yBottom <= long(cyContent) && rc.bottom - rc.top <= rcParent.bottom - rcParent.top;
    printf(fReachable ? "scrolled\t" : "outside\t");
    PrintWindowName(h);
    printf("\t");
    PrintRect(rc);
    printf("\tin\t");
    PrintWindowName(hParent);
    printf("\t");
    PrintRect(rcParent);
    printf("\n");
  }
  return TRUE;
}

static void CheckTopLevel(HWND h) {
  RECT rc;
  GetWindowRect(h, &rc);
  // A maximized window's frame lies past the screen's edges by design; its
  // client area is what must be on the screen.
  RECT rcOnScreen = rc;
  if (IsZoomed(h)) {
    GetClientRect(h, &rcOnScreen);
    MapWindowPoints(h, nullptr, reinterpret_cast<POINT*>(&rcOnScreen), 2);
  }
  LayoutCheck check = {0};
  EnumChildWindows(h, CheckChild, reinterpret_cast<LPARAM>(&check));
  printf("window\t");
  PrintWindowName(h);
  printf("\t");
  PrintRect(rc);
  printf("\t%d\n", check.cControls);
  if (rcOnScreen.left < 0 || rcOnScreen.top < 0 || rcOnScreen.right > GetSystemMetrics(SM_CXSCREEN) ||
      rcOnScreen.bottom > GetSystemMetrics(SM_CYSCREEN)) {
    printf("outside\t");
    PrintWindowName(h);
    printf("\t");
    PrintRect(rc);
    printf("\tscreen\n");
  }
}

static BOOL CALLBACK CheckDialog(HWND h, LPARAM lParam) {
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  DWORD dwProcess = 0;
  GetWindowThreadProcessId(h, &dwProcess);
  if (lstrcmpW(szClass, L"#32770") == 0 && IsWindowVisible(h) && dwProcess == DWORD(lParam)) CheckTopLevel(h);
  return TRUE;
}

// Text check: the text of a visible push button, check box or radio button,
// measured in the font the control draws with, against the room the control
// gives it (its width less the frame of a push button or the box of a check
// box; for a multi-line button, the height its wrapped text needs).
static BOOL CALLBACK CheckButtonText(HWND h, LPARAM) {
  wchar_t szClass[64], sz[512];
  GetClassNameW(h, szClass, 64);
  if (lstrcmpiW(szClass, L"Button") != 0 || !IsWindowVisible(h)) return TRUE;
  const LONG_PTR nStyle = GetWindowLongPtrW(h, GWL_STYLE);
  const LONG_PTR nType = nStyle & BS_TYPEMASK;
  if (nType == BS_GROUPBOX || nType == BS_OWNERDRAW || (nStyle & (BS_BITMAP | BS_ICON))) return TRUE;
  ControlText(h, sz, 512);
  if (!*sz) return TRUE;
  RECT rc;
  GetClientRect(h, &rc);
  const bool fPush = nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON;
  HDC hdc = GetDC(h);
  // The control's font is an object of the program's process, which this
  // one cannot select; every dialog of the program uses the shell's dialog
  // font of 8 points, made here at the screen's DPI.
  HFONT hFont = CreateFontW(-MulDiv(8, GetDeviceCaps(hdc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg");
  HGDIOBJ hOld = SelectObject(hdc, hFont);
  TEXTMETRICW tm;
  GetTextMetricsW(hdc, &tm);
  // A push button's text keeps clear of its raised frame; a check box's
  // starts after the box and a gap of half an average character.
  const int cxRoom = fPush ? int(rc.right) - 2 * (GetSystemMetrics(SM_CXEDGE) + 1)
                           : int(rc.right) - GetSystemMetrics(SM_CXMENUCHECK) - int(tm.tmAveCharWidth) / 2;
  RECT rcText = {0, 0, cxRoom > 1 ? cxRoom : 1, 0};
  const bool fMulti = (nStyle & BS_MULTILINE) != 0;
  DrawTextW(hdc, sz, -1, &rcText, DT_CALCRECT | (fMulti ? DT_WORDBREAK : DT_SINGLELINE));
  const bool fClips = fMulti ? rcText.bottom > rc.bottom || rcText.right > cxRoom : rcText.right > cxRoom;
  // A word wider than the room the control would have reaching to its
  // parent's right edge cannot be helped by widening: "word", not "clips".
  bool fWordTooLong = false;
  if (fClips && fMulti) {
    RECT rcParent, rcHere;
    GetClientRect(GetParent(h), &rcParent);
    GetWindowRect(h, &rcHere);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&rcHere), 2);
    rcParent.right -= rcHere.left;
    RECT rcWord = {0, 0, LONG(rcParent.right - (rc.right - cxRoom)), 0};
    if (rcWord.right < 1) rcWord.right = 1;
    DrawTextW(hdc, sz, -1, &rcWord, DT_CALCRECT | DT_WORDBREAK);
    fWordTooLong = rcWord.right > rcParent.right - (rc.right - cxRoom);
  }
  if (fClips) {
    printf(fWordTooLong ? "word\t%d\t" : "clips\t%d\t", GetDlgCtrlID(h));
    PrintW(szClass);
    printf("\t");
    PrintW(sz);
    printf("\t%ld\t%d\n", long(fMulti ? rcText.bottom : rcText.right), fMulti ? int(rc.bottom) : cxRoom);
  }
  SelectObject(hdc, hOld);
  DeleteObject(hFont);
  ReleaseDC(h, hdc);
  return TRUE;
}

static BOOL CALLBACK CheckDialogTexts(HWND h, LPARAM lParam) {
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  DWORD dwProcess = 0;
  GetWindowThreadProcessId(h, &dwProcess);
  if (lstrcmpW(szClass, L"#32770") == 0 && IsWindowVisible(h) && dwProcess == DWORD(lParam))
    EnumChildWindows(h, CheckButtonText, 0);
  return TRUE;
}

static BOOL CALLBACK FindVisiblePage(HWND h, LPARAM l) {
  wchar_t szClass[64];
  GetClassNameW(h, szClass, 64);
  if (lstrcmpW(szClass, L"#32770") != 0 || !IsWindowVisible(h)) return TRUE;
  *reinterpret_cast<HWND*>(l) = h;
  return FALSE;
}

static int Run(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string cmd = argv[1];
  if (cmd == "count") {
    int n = 0;
    for (HWND h = FindWindowExW(nullptr, nullptr, L"velmo", nullptr); h; h = FindWindowExW(nullptr, h, L"velmo", nullptr))
      ++n;
    printf("%d\n", n);
    return 0;
  }
  if (cmd == "reg-get" && argc > 3) return RegGet(argv[2], argv[3]);
  if (cmd == "lock-file" && argc > 3) {  // PATH SECONDS: holds the file open, shared with nobody
    HANDLE h = CreateFileW(Wide(argv[2]).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    Sleep(DWORD(Num(argv[3])) * 1000);
    CloseHandle(h);
    return 0;
  }
  if (cmd == "popup-rect") {  // the screen rectangle of the open popup menu, if one is shown
    HWND h = FindWindowW(L"#32768", nullptr);
    RECT rc;
    if (!h || !IsWindowVisible(h) || !GetWindowRect(h, &rc)) return 1;
    printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
    return 0;
  }
  if (cmd == "reg-set-sz" && argc > 4) return RegSetString(argv[2], argv[3], argv[4]);
  if (cmd == "wait-window" && argc > 2) {
    DWORD dwEnd = GetTickCount() + DWORD(Num(argv[2]) * 1000);
    while (GetTickCount() < dwEnd) {
      HWND h = MainWindow();
      if (h && IsWindowVisible(h)) {
        printf("%p\n", (void*)h);
        return 0;
      }
      Sleep(100);
    }
    return 1;
  }
  if (cmd == "dialogs" || cmd == "dialog-text" || cmd == "press-dialog" || cmd == "list-count" ||
      cmd == "list-key" || cmd == "list-text" || cmd == "list-checks" || cmd == "list-selected" ||
      cmd == "header-point" || cmd == "set-dialog-text" || cmd == "dialog-controls" ||
      cmd == "click-control" || cmd == "sheet-page" || cmd == "combo-select" || cmd == "listview-text" ||
      cmd == "listview-key" || cmd == "list-set-sel" || cmd == "list-sel" || cmd == "page-scroll") {
    DialogSearch s = {nullptr, cmd == "dialogs"};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&s));
    if (cmd == "dialogs") return 0;
    if (!s.hFirst) return 1;
    if (cmd == "list-count" || cmd == "list-key" || cmd == "list-text" || cmd == "header-point" ||
        cmd == "list-checks" || cmd == "list-selected") {
      HWND hList = nullptr;
      EnumChildWindows(s.hFirst, FindList, reinterpret_cast<LPARAM>(&hList));
      if (!hList) return 1;
      wchar_t szClass[64];
      GetClassNameW(hList, szClass, 64);
      bool fListBox = lstrcmpiW(szClass, L"ListBox") == 0;
      if (cmd == "header-point") {
        // Column widths come without pointers, so they can be asked across
        // processes; the header window's rectangle gives the origin.
        HWND hHeader = FindWindowExW(hList, nullptr, L"SysHeader32", nullptr);
        if (fListBox || !hHeader || argc < 3) return 1;
        RECT rc;
        GetWindowRect(hHeader, &rc);
        long iCol = Num(argv[2]), x = rc.left;
        for (long i = 0; i < iCol; ++i) x += long(SendMessageW(hList, 0x101D /* LVM_GETCOLUMNWIDTH */, WPARAM(i), 0));
        long cx = long(SendMessageW(hList, 0x101D, WPARAM(iCol), 0));
        printf("%ld %ld\n", x + cx / 2, long((rc.top + rc.bottom) / 2));
        return 0;
      }
      if (cmd == "list-text") {
        if (!fListBox) return 1;
        long c = long(SendMessageW(hList, LB_GETCOUNT, 0, 0));
        for (long i = 0; i < c; ++i) {
          wchar_t sz[1024] = L"";
          if (SendMessageW(hList, LB_GETTEXTLEN, WPARAM(i), 0) < 1024) SendMessageW(hList, LB_GETTEXT, WPARAM(i), LPARAM(sz));
          PrintW(sz);
          printf("\n");
        }
        return 0;
      }
      if (cmd == "list-checks" || cmd == "list-selected") {
        if (fListBox) return 1;
        // The state comes back as the result: no pointer crosses processes.
        long c = long(SendMessageW(hList, 0x1004 /* LVM_GETITEMCOUNT */, 0, 0));
        if (cmd == "list-selected") {
          printf("%ld\n", long(SendMessageW(hList, 0x100C /* LVM_GETNEXTITEM */, WPARAM(-1), 2 /* LVNI_SELECTED */)));
          return 0;
        }
        for (long i = 0; i < c; ++i) {
          LRESULT n = SendMessageW(hList, 0x102C /* LVM_GETITEMSTATE */, WPARAM(i), 0xF000 /* LVIS_STATEIMAGEMASK */);
          printf("%d\n", ((n >> 12) - 1) == 1 ? 1 : 0);
        }
        return 0;
      }
      if (cmd == "list-count") {
        const bool fTree = lstrcmpiW(szClass, L"SysTreeView32") == 0;
        printf("%ld\n", long(SendMessageW(hList, fListBox ? LB_GETCOUNT : fTree ? 0x1105 /* TVM_GETCOUNT */
                                                                                  : 0x1004 /* LVM_GETITEMCOUNT */,
                                           0, 0)));
        return 0;
      }
      if (argc < 3) return 2;
      long c = argc > 3 ? Num(argv[3]) : 1;
      for (long i = 0; i < c; ++i) {
        SendMessageW(hList, WM_KEYDOWN, WPARAM(Num(argv[2])), 1);
        SendMessageW(hList, WM_KEYUP, WPARAM(Num(argv[2])), 0xC0000001);
      }
      return 0;
    }
    if (cmd == "listview-text" || cmd == "listview-key") {
      HWND hList = nullptr;
      EnumChildWindows(s.hFirst, FindVisibleListView, reinterpret_cast<LPARAM>(&hList));
      if (!hList) return 1;
      if (cmd == "listview-text") return PrintListView(hList);
      if (argc < 3) return 2;
      long c = argc > 3 ? Num(argv[3]) : 1;
      for (long i = 0; i < c; ++i) {
        SendMessageW(hList, WM_KEYDOWN, WPARAM(Num(argv[2])), 1);
        SendMessageW(hList, WM_KEYUP, WPARAM(Num(argv[2])), 0xC0000001);
      }
      return 0;
    }
    if (cmd == "set-dialog-text") {
      if (argc < 4) return 2;
      HWND hItem = Control(s.hFirst, int(Num(argv[2])), L"Edit");
      if (!hItem) return 1;
      // The text from the wide command line: the ANSI argv may not hold it.
      int cArgs = 0;
      LPWSTR* ppsz = CommandLineToArgvW(GetCommandLineW(), &cArgs);
      std::wstring text = ppsz && cArgs > 3 ? std::wstring(ppsz[3]) : Wide(argv[3]);
      if (ppsz) LocalFree(ppsz);
      DWORD_PTR r = 0;
      return SendMessageTimeoutW(hItem, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000, &r)
                 ? 0
                 : 1;
    }
    // A button anywhere in the dialog (also on a property sheet's page) is
    // clicked as the user would; a sheet shows its page number N.
    if (cmd == "click-control") {
      if (argc < 3) return 2;
      HWND hItem = Control(s.hFirst, int(Num(argv[2])), L"Button");
      if (!hItem) return 1;
      return PostMessageW(hItem, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (cmd == "combo-select") {  // ID INDEX: as if the user chose the item
      if (argc < 4) return 2;
      HWND hItem = Control(s.hFirst, int(Num(argv[2])), L"ComboBox");
      if (!hItem) return 1;
      SendMessageW(hItem, CB_SETCURSEL, WPARAM(Num(argv[3])), 0);
      PostMessageW(GetParent(hItem), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hItem), CBN_SELCHANGE), LPARAM(hItem));
      return 0;
    }
    if (cmd == "list-set-sel") {  // ID INDEX 0|1: an item of a multiple-selection list box
      if (argc < 5) return 2;
      HWND hItem = Control(s.hFirst, int(Num(argv[2])), L"ListBox");
      if (!hItem) return 1;
      return SendMessageW(hItem, LB_SETSEL, WPARAM(Num(argv[4]) != 0), LPARAM(Num(argv[3]))) == LB_ERR ? 1 : 0;
    }
    if (cmd == "list-sel") {  // ID: the selected items of a multiple-selection list box, one a line
      if (argc < 3) return 2;
      HWND hItem = Control(s.hFirst, int(Num(argv[2])), L"ListBox");
      if (!hItem) return 1;
      LRESULT c = SendMessageW(hItem, LB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < c; ++i)
        if (SendMessageW(hItem, LB_GETSEL, WPARAM(i), 0) > 0) printf("%ld\n", long(i));
      return 0;
    }
    if (cmd == "page-scroll") {
      if (argc < 3) return 2;
      HWND hPage = nullptr;
      EnumChildWindows(s.hFirst, FindVisiblePage, reinterpret_cast<LPARAM>(&hPage));
      if (!hPage) return 1;
      SendMessageW(hPage, WM_VSCROLL, MAKEWPARAM(Num(argv[2]), 0), 0);
      printf("%ld\n", long(reinterpret_cast<INT_PTR>(GetPropW(hPage, L"VelmoScrollPos"))));
      return 0;
    }
    if (cmd == "sheet-page") {
      if (argc < 3) return 2;
      return PostMessageW(s.hFirst, WM_USER + 101 /* PSM_SETCURSEL */, WPARAM(Num(argv[2])), 0) ? 0 : 1;
    }
    if (cmd == "dialog-controls") {
      EnumChildWindows(s.hFirst, PrintControl, 0);
      return 0;
    }
    if (cmd == "dialog-text") {
      EnumChildWindows(s.hFirst, PrintChild, 0);
      return 0;
    }
    if (argc < 3) return 2;
    PostMessageW(s.hFirst, WM_COMMAND, MAKEWPARAM(Num(argv[2]), BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(s.hFirst, int(Num(argv[2])), L"Button")));
    return 0;
  }
  HWND hWnd = MainWindow();
  if (!hWnd) {
    fprintf(stderr, "no main window\n");
    return 1;
  }
  if (cmd == "command" && argc > 2) {
    // Several ids are posted back to back, so they queue behind each other;
    // "close" among them posts WM_CLOSE at that place in the queue.
    for (int i = 2; i < argc; ++i) {
      BOOL fPosted = std::string(argv[i]) == "close" ? PostMessageW(hWnd, WM_CLOSE, 0, 0)
                                                     : PostMessageW(hWnd, WM_COMMAND, WPARAM(Num(argv[i])), 0);
      if (!fPosted) return 1;
    }
    return 0;
  }
  if (cmd == "layout") {
    HDC hdc = GetDC(nullptr);
    printf("screen %d %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
           GetDeviceCaps(hdc, LOGPIXELSX));
    ReleaseDC(nullptr, hdc);
    CheckTopLevel(hWnd);
    DWORD dwProcess = 0;
    GetWindowThreadProcessId(hWnd, &dwProcess);
    EnumWindows(CheckDialog, LPARAM(dwProcess));
    return 0;
  }
  if (cmd == "text-clips") {
    DWORD dwProcess = 0;
    GetWindowThreadProcessId(hWnd, &dwProcess);
    EnumWindows(CheckDialogTexts, LPARAM(dwProcess));
    return 0;
  }
  if (cmd == "move" && argc > 5)  // X Y W H: places the main window
    return SetWindowPos(hWnd, nullptr, int(Num(argv[2])), int(Num(argv[3])), int(Num(argv[4])), int(Num(argv[5])),
                        SWP_NOZORDER) ? 0 : 1;
  if (cmd == "resize" && argc > 3)
    return SetWindowPos(hWnd, nullptr, 0, 0, int(Num(argv[2])), int(Num(argv[3])), SWP_NOZORDER | SWP_NOMOVE) ? 0 : 1;
  if (cmd == "post" && argc > 3) return PostMessageW(hWnd, UINT(Num(argv[2])), WPARAM(Num(argv[3])), 0) ? 0 : 1;
  if (cmd == "close") return PostMessageW(hWnd, WM_CLOSE, 0, 0) ? 0 : 1;
  if (cmd == "maneuver") {
    const UINT c_uQueryManeuver = WM_USER + 9;  // the program's WM_QUERY_MANEUVER
    // Three messages, and a fix may be taken between any two of them: the
    // kind of the maneuver just passed beside the distances to the next.
    // Read until two readings in a row agree.
    DWORD_PTR adw[2][3] = {};
    bool fSame = false;
    for (int nTry = 0; nTry < 50 && !fSame; ++nTry) {
      for (int k = 0; k < 3; ++k)
        if (!SendMessageTimeoutW(hWnd, c_uQueryManeuver, WPARAM(k), 0, SMTO_ABORTIFHUNG, 5000, &adw[nTry & 1][k]))
          return 1;
      fSame = nTry > 0 && memcmp(adw[0], adw[1], sizeof adw[0]) == 0;
    }
    if (!fSame) {
      fprintf(stderr, "velmo_ctl: the maneuver display changed between every two readings\n");
      return 1;
    }
    const DWORD_PTR dwState = adw[0][0], dwMetres = adw[0][1], dwEnd = adw[0][2];
    printf("%u %u %u %u %u %u\n", unsigned((dwState >> 24) & 1), unsigned((dwState >> 16) & 0xFF),
           unsigned(dwState & 0xFF), unsigned((dwState >> 8) & 0xFF), unsigned(dwMetres), unsigned(dwEnd));
    return 0;
  }
  if (cmd == "ping" && argc > 2) {  // MS: the window answers a sent message within MS; prints the wait
    DWORD dwStart = GetTickCount();
    DWORD_PTR dwResult = 0;
    LRESULT ok = SendMessageTimeoutW(hWnd, WM_NULL, 0, 0, SMTO_NORMAL, UINT(Num(argv[2])), &dwResult);
    printf("%lu\n", (unsigned long)(GetTickCount() - dwStart));
    return ok ? 0 : 1;
  }
  if (cmd == "window-rect") {
    RECT rc;
    GetWindowRect(hWnd, &rc);
    POINT pt = {0, 0};
    ClientToScreen(hWnd, &pt);
    printf("%ld %ld %ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom, pt.x, pt.y);
    return 0;
  }
  if (cmd == "client-size") {
    RECT rc;
    GetClientRect(hWnd, &rc);
    printf("%ld %ld\n", rc.right, rc.bottom);
    return 0;
  }
  return 2;
}

// Every failure says so on the error output: a failure that says nothing
// is Wine's own, which did not run the tool at all (the harness runs it
// again).
int main(int argc, char** argv) {
  const int rc = Run(argc, argv);
  if (rc != 0) fprintf(stderr, "velmo_ctl: exit %d\n", rc);
  return rc;
}

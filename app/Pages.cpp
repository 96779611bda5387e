// Page 2 of the main window, the trip computer's route point page, showing
// its caption until its contents are part of the program. The map page is
// MapPageWin.cpp, the gauge and satellite pages GaugePages.cpp.
#include "app/Commands.h"
#include "app/Features.h"
#include "app/Shell.h"
#include "platform/Str.h"

using namespace platform;

namespace {

// A page that paints its caption and a line of state on a plain ground.
class CSimplePage : public Page {
 public:
  explicit CSimplePage(unsigned iPage) : m_iPage(iPage) {}
  bool Create() override { return true; }
  void Destroy() override {}
  void OnPaint(HDC hdc) override {
    RECT rc = {0, 0, g_cxClient, g_cyClient};
    ::FillRect(hdc, &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::SetBkMode(hdc, TRANSPARENT);
    ::SetTextColor(hdc, RGB(0, 0, 0));
    // The caption is the page's item in the menu, without its accelerator.
    wchar_t szItem[128] = L"";
    ::GetMenuStringW(::GetMenu(g_hWnd), cmdPageFirst + m_iPage, szItem, 128, MF_BYCOMMAND);
    char16_t szCaption[128];
    size_t n = 0;
    for (const wchar_t* p = szItem; *p && *p != L'\t' && n + 1 < 128; ++p)
      if (*p != L'&') szCaption[n++] = char16_t(*p);
    szCaption[n] = 0;
    RECT rcText = {ScaleX(4), ScaleY(4), g_cxClient - ScaleX(4), g_cyClient};
    ::DrawTextW(hdc, W(szCaption), -1, &rcText, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    std::u16string strState = StateText();
    if (!strState.empty()) {
      rcText.top += ScaleY(24);
      ::DrawTextW(hdc, W(strState.c_str()), -1, &rcText, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
    }
  }
  void RefreshMap(bool) override {
    if (CurrentPage() == this) ::InvalidateRect(g_hWnd, nullptr, FALSE);
  }

 protected:
  virtual std::u16string StateText() { return u""; }

 private:
  unsigned m_iPage;
};

}  // namespace

Page* CreateRoutePointsPage() { return new CSimplePage(2); }
